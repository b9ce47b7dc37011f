// retiredReplDSASignatures and msDS-RetiredReplNCSignatures: the retired
// replication signatures of a directory server or naming context, one line
// per signature with its GUID, retirement USN and time.
#pragma once

#include <string>
#include <vector>

// Appends "DSA_SIG=" / "NC_GUID=" + GUID + " RETIRE_USN=" + USN +
// " RETIRE_TIME=" + time per record (the time as a decimal 100-ns count, or a
// date under -tdc / -tdcs). Warnings as DecodeCachedMembership. True when the
// whole blob was decoded.
bool DecodeRetiredDsaSignatures(unsigned length, const unsigned char* blob,
                                std::vector<std::string>* lines);
bool DecodeRetiredNcSignatures(unsigned length, const unsigned char* blob,
                               std::vector<std::string>* lines);
