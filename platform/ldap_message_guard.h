// A layer on top of a libldap connection's socket, above TLS and any SASL
// security layer, that looks at each LDAP message the server sends before
// libldap reads it. libldap aborts the process on an extended response
// whose response name is present but empty (its notice-of-disconnection
// check asserts on it). An extended response (this client asks for none:
// only unsolicited notices come) is held whole and passes only when it has
// the protocol's form in every part with a name that is not empty; one that
// does not, or a message whose framing is not the protocol's, is taken as a
// broken connection: the read fails as a reset would, and the request ends
// as "server down". Every other message passes unchanged.
//
// Bytes the layer read from one layer below are handed up only while that
// layer is still the one below: a security layer installed under it (SASL
// at the bind's end) makes what it holds from before, read in clear, a
// broken connection too, as is a message handed up in part whose rest
// would come through the new layer.
#pragma once

#include <lber.h>

#include <cstddef>
#include <string_view>

namespace plat::nat {

// Pushes the layer onto sb above every other layer, present or pushed
// later. False when it could not be pushed (the connection then works
// without it).
bool PushMessageGuard(Sockbuf* sb);

// The memory the layer on sb holds for bytes not handed up yet: at most one
// message's start (a whole extended response while it is judged) and one
// read from below, however the bytes come. 0 without the layer.
size_t MessageGuardHeld(Sockbuf* sb);

// The bytes the layer on sb read from below and has not handed up yet (a
// message begun and not handed up whole counts its rest too, as at least
// 1). A bind that installs a security layer asks it at once: anything there
// came in clear. 0 without the layer.
size_t MessageGuardPending(Sockbuf* sb);

// What can be told of text, which starts at an LDAP message: the length of
// the whole message (0: more bytes are needed to say), whether it is held
// until all of it is there, and whether it is refused.
struct MessageVerdict {
  size_t whole = 0;
  bool refuse = false;
  bool holdWhole = false;
};
MessageVerdict JudgeMessage(std::string_view text);

}  // namespace plat::nat
