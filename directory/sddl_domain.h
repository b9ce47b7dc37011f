// The domain that domain-relative SDDL aliases (DA, DU, EA, ...) stand for:
// the domain of the directory the run is connected to.
#pragma once

#include <string>

namespace plat {
struct LDAP;
}

// Reads the objectSid of the default naming context and makes it the domain
// SID of the SDDL alias parser. False (and nothing changed) when there is no
// such naming context or it holds no domain SID.
bool LearnSddlDomainSid(plat::LDAP* connection, const std::string& defaultNamingContext);
