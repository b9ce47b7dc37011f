// A read-ahead layer for a libldap connection's socket: replies are read from
// the socket in large blocks instead of message by message.
#pragma once

#include <lber.h>

namespace plat::nat {

// Pushes the layer onto sb just above the socket, below TLS and any SASL
// security layer, so it buffers the raw bytes whatever sits above. Call it
// once the connection exists and before a reply is read. False when it could
// not be pushed (the connection then works as before).
bool PushReadAhead(Sockbuf* sb);

}  // namespace plat::nat
