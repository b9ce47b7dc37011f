// Connectionless LDAP (LDAP over UDP): the search request as one datagram and
// the entries and result that come back, decoded with every length checked.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plat::detail {

struct CldapAttribute {
  std::string name;
  std::vector<std::string> values;
};

struct CldapEntry {
  std::string dn;
  std::vector<CldapAttribute> attributes;
};

struct CldapReply {
  std::vector<CldapEntry> entries;
  bool done = false;  // the SearchResultDone arrived
  int code = 0;
  std::string matched;
  std::string error;
  std::vector<std::string> referrals;
};

struct CldapSearch {
  int messageId = 1;
  std::string base;
  int scope = 0;
  std::string filter;
  std::vector<std::string> attrs;
  bool attrsOnly = false;
  int sizeLimit = 0;
  int timeLimit = 0;
};

// The LDAPMessage holding the SearchRequest; false when the filter is bad.
bool EncodeCldapSearch(const CldapSearch& search, std::string* datagram);

enum class CldapDecode { kOk, kForeign, kMalformed };

// Adds the messages of one datagram with the given message ID to reply.
// kForeign: the datagram answers another request (ignored); kMalformed: it
// is truncated or badly formed (nothing of it is kept).
CldapDecode DecodeCldapDatagram(const void* data, size_t len, int messageId, CldapReply* reply);

// Sends the request on a connected UDP socket and collects the reply, trying
// again within the wait limit. Returns 0 or an LDAP result code
// (LDAP_TIMEOUT, LDAP_SERVER_DOWN, LDAP_DECODING_ERROR, LDAP_FILTER_ERROR).
unsigned long CldapExchange(int socket, const CldapSearch& search, long waitMs, CldapReply* reply);

// A connected UDP socket to host:port, or -1 (*error gets an LDAP result code).
int CldapConnect(const char* host, unsigned long port, unsigned long* error);

}  // namespace plat::detail
