// The built-in members of the attribute-kind tables (see common/process_state.h).
#pragma once

// Seeds the GUID, SID, binary and DN-valued attribute sets with their
// built-in names and records the names never treated as binary. Called once
// at the start of a run.
void LoadAttributeKindMaps();

// Makes the ten common 64-bit time attributes members of g_TimeAttributes;
// calling it again changes nothing.
void LoadTimeAttributeMap();
