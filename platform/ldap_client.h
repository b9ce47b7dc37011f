// The LDAP client interface the program is written against: connections over
// TCP, TLS and connectionless UDP, simple and negotiated binds, searches (plain
// and paged), the entry/attribute/value walk, result parsing, server controls
// and a small BER encoder for control values. Result codes and option numbers
// are the Windows LDAP client's; texts come from ldap_err2string.
//
// Memory rules (all calls are null-safe):
// - ldap_get_dn, ldap_first_attribute, ldap_next_attribute and the matched DN /
//   error text of ldap_parse_result are freed with ldap_memfree.
// - ldap_get_values and the referral list of ldap_parse_result are freed with
//   ldap_value_free; ldap_get_values_len with ldap_value_free_len.
// - Every result message (also one returned with an error code) is freed with
//   ldap_msgfree; the control list of ldap_parse_result with ldap_controls_free.
// - The walk state of ldap_first_attribute is freed with ber_free(state, 0)
//   once the walk is over (before or after the entry's message is freed).
// - The text of ldap_get_option(LDAP_OPT_SERVER_ERROR) is a copy the caller
//   frees with ldap_memfree; LDAP_OPT_HOST_NAME gives a text owned by the
//   connection (valid until ldap_unbind).
// - ldap_unbind releases every connection, also one whose bind failed.
// - ber_flatten's berval is freed with ber_bvfree.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

namespace plat {

using BOOLEAN = unsigned char;

// Opaque handles.
struct LDAP;         // a connection (TCP, TLS or connectionless)
struct LDAPMessage;  // a result message, or one entry inside it
struct BerElement;   // a BER encoder, or the state of an attribute walk
struct LDAPSearch;   // a paged search
using PLDAPSearch = LDAPSearch*;

// A counted byte string.
struct berval {
  ULONG bv_len;
  char* bv_val;
};

// A server or client control; ldctl_value holds the DER-encoded value
// (bv_len 0 and bv_val null for a control without a value).
struct LDAPControl {
  char* ldctl_oid;
  berval ldctl_value;
  BOOLEAN ldctl_iscritical;
};

// One key of the server-side sort control.
struct LDAPSortKey {
  char* sk_attrtype;
  char* sk_matchruleoid;  // null: the attribute's default ordering rule
  BOOLEAN sk_reverseorder;
};

// Identity record of the negotiated bind; lengths are character counts
// without the terminating zero. Domain null / DomainLength 0: no domain.
struct SEC_WINNT_AUTH_IDENTITY_A {
  unsigned char* User;
  ULONG UserLength;
  unsigned char* Domain;
  ULONG DomainLength;
  unsigned char* Password;
  ULONG PasswordLength;
  ULONG Flags;
};
inline constexpr ULONG SEC_WINNT_AUTH_IDENTITY_ANSI = 1;
inline constexpr ULONG SEC_WINNT_AUTH_IDENTITY_UNICODE = 2;

// Wait limit of a request.
struct l_timeval {
  LONG tv_sec;
  LONG tv_usec;
};

// Ports and versions.
inline constexpr ULONG LDAP_PORT = 389;
inline constexpr ULONG LDAP_SSL_PORT = 636;
inline constexpr ULONG LDAP_GC_PORT = 3268;
inline constexpr ULONG LDAP_SSL_GC_PORT = 3269;
inline constexpr ULONG LDAP_VERSION2 = 2;
inline constexpr ULONG LDAP_VERSION3 = 3;
inline constexpr ULONG LDAP_NO_LIMIT = 0;

// Search scopes.
inline constexpr ULONG LDAP_SCOPE_BASE = 0x00;
inline constexpr ULONG LDAP_SCOPE_ONELEVEL = 0x01;
inline constexpr ULONG LDAP_SCOPE_SUBTREE = 0x02;

// Bind methods.
inline constexpr ULONG LDAP_AUTH_SIMPLE = 0x80;
inline constexpr ULONG LDAP_AUTH_SASL = 0x83;
inline constexpr ULONG LDAP_AUTH_OTHERKIND = 0x86;
inline constexpr ULONG LDAP_AUTH_SICILY = LDAP_AUTH_OTHERKIND | 0x0200;
inline constexpr ULONG LDAP_AUTH_NEGOTIATE = LDAP_AUTH_OTHERKIND | 0x0400;  // 0x486
inline constexpr ULONG LDAP_AUTH_NTLM = LDAP_AUTH_OTHERKIND | 0x1000;
inline constexpr ULONG LDAP_AUTH_DIGEST = LDAP_AUTH_OTHERKIND | 0x4000;

// Options (ldap_set_option / ldap_get_option). Boolean options take
// LDAP_OPT_ON / LDAP_OPT_OFF or the address of a ULONG; numeric options the
// address of a ULONG.
inline const void* const LDAP_OPT_ON = reinterpret_cast<const void*>(1);
inline const void* const LDAP_OPT_OFF = nullptr;
inline constexpr int LDAP_OPT_DEREF = 0x02;
inline constexpr int LDAP_OPT_SIZELIMIT = 0x03;
inline constexpr int LDAP_OPT_TIMELIMIT = 0x04;
inline constexpr int LDAP_OPT_REFERRALS = 0x08;
inline constexpr int LDAP_OPT_SSL = 0x0a;
inline constexpr int LDAP_OPT_REFERRAL_HOP_LIMIT = 0x10;
inline constexpr int LDAP_OPT_PROTOCOL_VERSION = 0x11;
inline constexpr int LDAP_OPT_VERSION = LDAP_OPT_PROTOCOL_VERSION;
inline constexpr int LDAP_OPT_HOST_NAME = 0x30;      // get: const char* owned by the connection
inline constexpr int LDAP_OPT_ERROR_NUMBER = 0x31;   // get: ULONG, last result code
inline constexpr int LDAP_OPT_ERROR_STRING = 0x32;   // get: char*, ldap_memfree
inline constexpr int LDAP_OPT_SERVER_ERROR = 0x33;   // get: char*, ldap_memfree; null when none
inline constexpr int LDAP_OPT_SIGN = 0x95;
inline constexpr int LDAP_OPT_ENCRYPT = 0x96;
inline constexpr int LDAP_OPT_AREC_EXCLUSIVE = 0x98;
// Our own: the longest wait in seconds (ULONG; 0: the default of 120) for
// any answer on a connection: the connect and TLS handshake (at most 30 s),
// binds, searches without a timeout of their own, and the connections and
// binds of referrals it follows. On a null handle: the default for the
// connections opened afterwards.
inline constexpr int LDAP_OPT_WAIT_LIMIT = 0x1001;
// Our own: get: char* (ldap_memfree), why the last negotiated bind went
// without Kerberos (NTLM instead, or a failure of Kerberos itself); null
// when Kerberos was used or the bind failed for another reason.
inline constexpr int LDAP_OPT_KERBEROS_PROBLEM = 0x1002;
// Our own: get: char* (ldap_memfree), why the last bind could not set up
// TLS, in the TLS library's words; null when TLS was not what failed.
inline constexpr int LDAP_OPT_TLS_PROBLEM = 0x1003;

// Our own: get: ULONG, 0 while the connection answers. Once a wait for an
// answer on it ran out, it is taken as not answering (every request on it
// fails at once with LDAP_TIMEOUT, a page asked for ahead too): 1, or 2 once
// the caller has set this option (with any value) to note that a timeout was
// reported while the server has been silent since, so that it is reported once.
inline constexpr int LDAP_OPT_NOT_ANSWERING = 0x1004;
// Our own: get: char* (ldap_memfree), why the last bind failed where the
// server did not end it as it must: a SASL bind ended early or without the
// signing or sealing it asked for, or not finished within the wait limit or
// the steps any exchange takes; null when the bind failed otherwise.
inline constexpr int LDAP_OPT_BIND_PROBLEM = 0x1005;

// Result codes: the protocol's, then the client's own.
inline constexpr ULONG LDAP_SUCCESS = 0x00;
inline constexpr ULONG LDAP_OPERATIONS_ERROR = 0x01;
inline constexpr ULONG LDAP_PROTOCOL_ERROR = 0x02;
inline constexpr ULONG LDAP_TIMELIMIT_EXCEEDED = 0x03;
inline constexpr ULONG LDAP_SIZELIMIT_EXCEEDED = 0x04;
inline constexpr ULONG LDAP_COMPARE_FALSE = 0x05;
inline constexpr ULONG LDAP_COMPARE_TRUE = 0x06;
inline constexpr ULONG LDAP_AUTH_METHOD_NOT_SUPPORTED = 0x07;
inline constexpr ULONG LDAP_STRONG_AUTH_REQUIRED = 0x08;
inline constexpr ULONG LDAP_PARTIAL_RESULTS = 0x09;
inline constexpr ULONG LDAP_REFERRAL = 0x0a;
inline constexpr ULONG LDAP_ADMIN_LIMIT_EXCEEDED = 0x0b;
inline constexpr ULONG LDAP_UNAVAILABLE_CRIT_EXTENSION = 0x0c;
inline constexpr ULONG LDAP_CONFIDENTIALITY_REQUIRED = 0x0d;
inline constexpr ULONG LDAP_SASL_BIND_IN_PROGRESS = 0x0e;
inline constexpr ULONG LDAP_NO_SUCH_ATTRIBUTE = 0x10;
inline constexpr ULONG LDAP_UNDEFINED_TYPE = 0x11;
inline constexpr ULONG LDAP_INAPPROPRIATE_MATCHING = 0x12;
inline constexpr ULONG LDAP_CONSTRAINT_VIOLATION = 0x13;
inline constexpr ULONG LDAP_ATTRIBUTE_OR_VALUE_EXISTS = 0x14;
inline constexpr ULONG LDAP_INVALID_SYNTAX = 0x15;
inline constexpr ULONG LDAP_NO_SUCH_OBJECT = 0x20;
inline constexpr ULONG LDAP_ALIAS_PROBLEM = 0x21;
inline constexpr ULONG LDAP_INVALID_DN_SYNTAX = 0x22;
inline constexpr ULONG LDAP_IS_LEAF = 0x23;
inline constexpr ULONG LDAP_ALIAS_DEREF_PROBLEM = 0x24;
inline constexpr ULONG LDAP_INAPPROPRIATE_AUTH = 0x30;
inline constexpr ULONG LDAP_INVALID_CREDENTIALS = 0x31;
inline constexpr ULONG LDAP_INSUFFICIENT_RIGHTS = 0x32;
inline constexpr ULONG LDAP_BUSY = 0x33;
inline constexpr ULONG LDAP_UNAVAILABLE = 0x34;
inline constexpr ULONG LDAP_UNWILLING_TO_PERFORM = 0x35;
inline constexpr ULONG LDAP_LOOP_DETECT = 0x36;
inline constexpr ULONG LDAP_SORT_CONTROL_MISSING = 0x3c;
inline constexpr ULONG LDAP_OFFSET_RANGE_ERROR = 0x3d;
inline constexpr ULONG LDAP_NAMING_VIOLATION = 0x40;
inline constexpr ULONG LDAP_OBJECT_CLASS_VIOLATION = 0x41;
inline constexpr ULONG LDAP_NOT_ALLOWED_ON_NONLEAF = 0x42;
inline constexpr ULONG LDAP_NOT_ALLOWED_ON_RDN = 0x43;
inline constexpr ULONG LDAP_ALREADY_EXISTS = 0x44;
inline constexpr ULONG LDAP_NO_OBJECT_CLASS_MODS = 0x45;
inline constexpr ULONG LDAP_RESULTS_TOO_LARGE = 0x46;
inline constexpr ULONG LDAP_AFFECTS_MULTIPLE_DSAS = 0x47;
inline constexpr ULONG LDAP_VIRTUAL_LIST_VIEW_ERROR = 0x4c;
inline constexpr ULONG LDAP_OTHER = 0x50;
inline constexpr ULONG LDAP_SERVER_DOWN = 0x51;
inline constexpr ULONG LDAP_LOCAL_ERROR = 0x52;
inline constexpr ULONG LDAP_ENCODING_ERROR = 0x53;
inline constexpr ULONG LDAP_DECODING_ERROR = 0x54;
inline constexpr ULONG LDAP_TIMEOUT = 0x55;
inline constexpr ULONG LDAP_AUTH_UNKNOWN = 0x56;
inline constexpr ULONG LDAP_FILTER_ERROR = 0x57;
inline constexpr ULONG LDAP_USER_CANCELLED = 0x58;
inline constexpr ULONG LDAP_PARAM_ERROR = 0x59;
inline constexpr ULONG LDAP_NO_MEMORY = 0x5a;
inline constexpr ULONG LDAP_CONNECT_ERROR = 0x5b;
inline constexpr ULONG LDAP_NOT_SUPPORTED = 0x5c;
inline constexpr ULONG LDAP_CONTROL_NOT_FOUND = 0x5d;
inline constexpr ULONG LDAP_NO_RESULTS_RETURNED = 0x5e;
inline constexpr ULONG LDAP_MORE_RESULTS_TO_RETURN = 0x5f;
inline constexpr ULONG LDAP_CLIENT_LOOP = 0x60;
inline constexpr ULONG LDAP_REFERRAL_LIMIT_EXCEEDED = 0x61;

// Control OIDs the client itself uses.
inline constexpr const char* LDAP_PAGED_RESULT_OID_STRING = "1.2.840.113556.1.4.319";
inline constexpr const char* LDAP_SERVER_SORT_OID = "1.2.840.113556.1.4.473";
inline constexpr const char* LDAP_SERVER_RESP_SORT_OID = "1.2.840.113556.1.4.474";

// BER encoder.
inline constexpr int LBER_USE_DER = 0x01;
inline constexpr int LBER_ERROR = -1;
inline constexpr int LBER_DEFAULT = -1;

// --- Connections ----------------------------------------------------------

// Prepares a connection to host (null: the library's default server; may hold
// several names separated by blanks) on port; secure != 0 asks for TLS
// (ldaps), the server certificate always verified against the system's CAs
// and the LDAPTLS_* / ldap.conf settings. Nothing is sent until the bind (or
// the first request); a failure to connect shows there as LDAP_SERVER_DOWN.
// Returns null (GetLastError set) when the host text is unusable.
LDAP* ldap_sslinit(const char* host, ULONG port, int secure);

// Our own: a connection over a stream socket the caller has already
// connected to the server at host and port (plain LDAP, no TLS), as
// ldap_sslinit would have made it; the socket belongs to the connection from
// then on (ldap_unbind closes it; so does a failure here). Returns null
// (GetLastError set) when the connection cannot be made.
LDAP* ldap_init_on_socket(int socket, const char* host, ULONG port);

// A connectionless (UDP) connection to host (null: localhost) and port.
// Returns null (GetLastError set) when the host cannot be resolved.
LDAP* cldap_open(const char* host, ULONG port);

ULONG ldap_set_option(LDAP* ld, int option, const void* invalue);
ULONG ldap_get_option(LDAP* ld, int option, void* outvalue);

// method LDAP_AUTH_SIMPLE: cred is the password text.
// method LDAP_AUTH_NEGOTIATE: cred is null (the caller's Kerberos tickets) or
// a SEC_WINNT_AUTH_IDENTITY_A* (Kerberos credentials obtained with that
// password, in memory; NTLM where Kerberos cannot be used). A record without
// a user name is refused with LDAP_INVALID_CREDENTIALS, whatever its domain
// and password: it never falls back to the caller's tickets.
ULONG ldap_bind_s(LDAP* ld, const char* dn, const void* cred, ULONG method);
ULONG ldap_simple_bind_s(LDAP* ld, const char* dn, const char* password);

// Closes and frees the connection (null-safe).
ULONG ldap_unbind(LDAP* ld);
ULONG ldap_unbind_s(LDAP* ld);

// --- Searches ---------------------------------------------------------------

// base null or "": the RootDSE. attrs: null-terminated list, or null for all
// user attributes. A filter wrapped in redundant parentheses ("((cn=x))") is
// accepted; null or "" means "(objectClass=*)". *res receives the result
// (also on most errors) and is freed with ldap_msgfree. On a connectionless
// handle the wait is the time limit (LDAP_OPT_TIMELIMIT, or the timeout of
// ldap_search_ext_s), 10 seconds when none is set.
ULONG ldap_search_s(LDAP* ld, const char* base, ULONG scope, const char* filter,
                    const char* const* attrs, ULONG attrsonly, LDAPMessage** res);
ULONG ldap_search_ext_s(LDAP* ld, const char* base, ULONG scope, const char* filter,
                        const char* const* attrs, ULONG attrsonly,
                        LDAPControl** serverControls, LDAPControl** clientControls,
                        l_timeval* timeout, ULONG sizeLimit, LDAPMessage** res);

// Paged search on the paged-results control, with the server-side sort
// control when sortKeys holds keys. pageTimeLimit (seconds) and
// totalSizeLimit go into every request (0: no limit). Nothing is sent until
// ldap_get_next_page_s. Returns null (GetLastError set) on bad arguments.
// With referral chasing on (the default), referrals met on the way (the
// base's own, and continuation references) are followed page by page on
// connections of their own, bound as the main one ended bound (see
// nat::Follow); a continuation reference that cannot be reached is passed
// over (ldap_search_next_unfollowed_referral names it). The URLs of a
// referral are alternatives, each tried in turn with a wait limit of its own
// for its connect, bind and first page; a referred server that stops
// answering there (or later in a search) is not waited on again by any
// search on the connection. After TLS every referral is followed over TLS
// only (an ldap:// URL to the same host over LDAPS), so the credentials
// never travel less protected. A page that comes again with the same
// cookie, or a run of more than 20 empty pages that still ask for more, ends
// the search as LDAP_LOOP_DETECT.
PLDAPSearch ldap_search_init_page(LDAP* ld, const char* base, ULONG scope,
                                  const char* filter, const char* const* attrs,
                                  ULONG attrsonly, LDAPControl** serverControls,
                                  LDAPControl** clientControls, ULONG pageTimeLimit,
                                  ULONG totalSizeLimit, LDAPSortKey** sortKeys);

// Fetches the next page of at most pageSize entries, waiting at most *timeout
// (null: no limit). LDAP_SUCCESS: a page (possibly the last one) is in
// *results; LDAP_NO_RESULTS_RETURNED: the search was already complete,
// *results is null; LDAP_SIZELIMIT_EXCEEDED: the total size limit was reached
// (the entries are in *results); any other code: the error, with the server's
// result message in *results when there is one. totalCount may be null.
ULONG ldap_get_next_page_s(LDAP* ld, PLDAPSearch search, l_timeval* timeout,
                           ULONG pageSize, ULONG* totalCount, LDAPMessage** results);

// Sends the request for the next page of at most pageSize entries now,
// without waiting, so that the server prepares it while the caller works on
// the page it has; the next ldap_get_next_page_s then only waits for its
// answer (and this page size holds). Sends nothing (LDAP_NO_RESULTS_RETURNED)
// when the next page is not a plain continuation on the current server (the
// search is over, a referral is to be followed next, connectionless LDAP).
// *timeout (null: no limit) bounds the wait when another search on the
// connection has to read the answer in first. ldap_search_abandon_page
// abandons a request sent ahead and not collected.
ULONG ldap_search_send_next_page(LDAP* ld, PLDAPSearch search, l_timeval* timeout, ULONG pageSize);

// What a URL of a referral that was not followed leaves out of the search:
// the referral's entries, the rest of them (some had been handed out before
// its server failed or stopped answering), or none (another of its URLs
// was followed).
inline constexpr ULONG LDAP_REFERRAL_ALL_LEFT_OUT = 0;
inline constexpr ULONG LDAP_REFERRAL_REST_LEFT_OUT = 1;
inline constexpr ULONG LDAP_REFERRAL_NONE_LEFT_OUT = 2;

// Hands out, one per call, the URLs of referrals that the paged search did
// not follow, or not to their end: each URL tried that failed (or passed
// over, its server having stopped answering on the connection), whether a
// later URL of the same referral was followed or not; the URL whose server
// failed or stopped answering on the way. (A referral of the base none of
// whose URLs could be followed fails the search with the last one's code.)
// *url (freed with ldap_memfree), the code of the failure, what it leaves
// out (*leftOut, may be null) and, where more can be said than the code,
// why (*reason, may be null; freed with ldap_memfree; null when there is
// nothing more: the TLS library's reason as "TLS: ...", a bind's
// diagnostic, or, with LDAP_TIMEOUT, that the URL was passed over untried).
// Returns LDAP_NO_RESULTS_RETURNED when none is left.
ULONG ldap_search_next_unfollowed_referral(PLDAPSearch search, char** url, ULONG* code,
                                           ULONG* leftOut, char** reason = nullptr);

// The same for the plain searches (ldap_search_s, ldap_search_ext_s) on the
// connection, which follow referrals as paged searches do: the referrals
// they left out, in the order met, one per call.
ULONG ldap_next_unfollowed_referral(LDAP* ld, char** url, ULONG* code, ULONG* leftOut,
                                    char** reason = nullptr);

// Ends the paged search (tells the server when pages were left) and frees the
// handle; valid after any result of ldap_get_next_page_s.
ULONG ldap_search_abandon_page(LDAP* ld, PLDAPSearch search);

// --- Walking a result -------------------------------------------------------

ULONG ldap_count_entries(LDAP* ld, LDAPMessage* res);
LDAPMessage* ldap_first_entry(LDAP* ld, LDAPMessage* res);
LDAPMessage* ldap_next_entry(LDAP* ld, LDAPMessage* entry);
char* ldap_get_dn(LDAP* ld, LDAPMessage* entry);
char* ldap_first_attribute(LDAP* ld, LDAPMessage* entry, BerElement** ptr);
char* ldap_next_attribute(LDAP* ld, LDAPMessage* entry, BerElement* ptr);
char** ldap_get_values(LDAP* ld, LDAPMessage* entry, const char* attr);
berval** ldap_get_values_len(LDAP* ld, LDAPMessage* entry, const char* attr);
ULONG ldap_count_values(char** vals);
ULONG ldap_count_values_len(berval** vals);
ULONG ldap_value_free(char** vals);
ULONG ldap_value_free_len(berval** vals);
ULONG ldap_msgfree(LDAPMessage* res);
void ldap_memfree(char* block);

// Reads the result of a message: the result code (returnCode may be null),
// matched DN, server error text, referral URLs and returned server controls.
// When ld does not chase referrals, the URLs of the continuation references
// of a search's result follow the result's own referral URLs.
// Returns LDAP_NO_RESULTS_RETURNED for a null message or one without a
// result. freeIt != 0 frees the message.
ULONG ldap_parse_result(LDAP* ld, LDAPMessage* res, ULONG* returnCode, char** matchedDN,
                        char** errorMessage, char*** referrals,
                        LDAPControl*** serverControls, BOOLEAN freeIt);
ULONG ldap_controls_free(LDAPControl** controls);
ULONG ldap_control_free(LDAPControl* control);

// --- Texts and filters ------------------------------------------------------

// Text of a result code ("Unknown error" for a code it does not know).
const char* ldap_err2string(ULONG err);

// Writes each source byte as a backslash and two hexadecimal digits, then a
// terminating zero. dest null: returns the size needed (3 * length + 1);
// a destination too small: LDAP_PARAM_ERROR and nothing written.
ULONG ldap_escape_filter_element(const char* source, ULONG sourceLength, char* dest,
                                 ULONG destLength);

// --- BER encoding of control values ------------------------------------------

// options: LBER_USE_DER (the only encoding made).
BerElement* ber_alloc_t(int options);
// Format letters: { } sequence, [ ] set, i integer (int), e enumerated (int),
// b boolean (int), n null, s octet string (const char*), o octet string
// (const char*, ULONG length), O octet string (const berval*), t tag for the
// next element (ULONG), v strings (const char**, null-terminated), V octet
// strings (berval**, null-terminated), X bit string (const char*, ULONG bits).
// Returns LBER_ERROR on a bad format or unbalanced brackets.
int ber_printf(BerElement* ber, const char* format, ...);
// The encoding made so far (brackets must be closed), as a new berval.
int ber_flatten(BerElement* ber, berval** out);
void ber_free(BerElement* ber, int freeBuffer);
void ber_bvfree(berval* bv);

}  // namespace plat
