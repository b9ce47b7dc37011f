// Texts of the result codes.
#include "platform/ldap_client.h"

namespace plat {

const char* ldap_err2string(ULONG err) {
  switch (err) {
    case LDAP_SUCCESS: return "Success";
    case LDAP_OPERATIONS_ERROR: return "Operations Error";
    case LDAP_PROTOCOL_ERROR: return "Protocol Error";
    case LDAP_TIMELIMIT_EXCEEDED: return "Timelimit Exceeded";
    case LDAP_SIZELIMIT_EXCEEDED: return "Sizelimit Exceeded";
    case LDAP_COMPARE_FALSE: return "Compare False";
    case LDAP_COMPARE_TRUE: return "Compare True";
    case LDAP_AUTH_METHOD_NOT_SUPPORTED: return "Auth Method Not Supported";
    case LDAP_STRONG_AUTH_REQUIRED: return "Strong Auth Required";
    case LDAP_PARTIAL_RESULTS: return "Partial Results";
    case LDAP_REFERRAL: return "Referral";
    case LDAP_ADMIN_LIMIT_EXCEEDED: return "Admin Limit Exceeded";
    case LDAP_UNAVAILABLE_CRIT_EXTENSION: return "Unavailable Critical Extension";
    case LDAP_CONFIDENTIALITY_REQUIRED: return "Confidentiality Required";
    case LDAP_SASL_BIND_IN_PROGRESS: return "SASL Bind In Progress";
    case LDAP_NO_SUCH_ATTRIBUTE: return "No Such Attribute";
    case LDAP_UNDEFINED_TYPE: return "Undefined Type";
    case LDAP_INAPPROPRIATE_MATCHING: return "Inappropriate Matching";
    case LDAP_CONSTRAINT_VIOLATION: return "Constraint Violation";
    case LDAP_ATTRIBUTE_OR_VALUE_EXISTS: return "Attribute Or Value Exists";
    case LDAP_INVALID_SYNTAX: return "Invalid Syntax";
    case LDAP_NO_SUCH_OBJECT: return "No Such Object";
    case LDAP_ALIAS_PROBLEM: return "Alias Problem";
    case LDAP_INVALID_DN_SYNTAX: return "Invalid DN Syntax";
    case LDAP_IS_LEAF: return "Is Leaf";
    case LDAP_ALIAS_DEREF_PROBLEM: return "Alias Deref Problem";
    case LDAP_INAPPROPRIATE_AUTH: return "Inappropriate Authentication";
    case LDAP_INVALID_CREDENTIALS: return "Invalid Credentials";
    case LDAP_INSUFFICIENT_RIGHTS: return "Insufficient Rights";
    case LDAP_BUSY: return "Busy";
    case LDAP_UNAVAILABLE: return "Unavailable";
    case LDAP_UNWILLING_TO_PERFORM: return "Unwilling To Perform";
    case LDAP_LOOP_DETECT: return "Loop Detected";
    case LDAP_SORT_CONTROL_MISSING: return "Sort Control Missing";
    case LDAP_OFFSET_RANGE_ERROR: return "Index range error";
    case LDAP_NAMING_VIOLATION: return "Naming Violation";
    case LDAP_OBJECT_CLASS_VIOLATION: return "Object Class Violation";
    case LDAP_NOT_ALLOWED_ON_NONLEAF: return "Not allowed on Non-leaf";
    case LDAP_NOT_ALLOWED_ON_RDN: return "Not allowed on RDN";
    case LDAP_ALREADY_EXISTS: return "Already Exists";
    case LDAP_NO_OBJECT_CLASS_MODS: return "No Object Class Mods";
    case LDAP_RESULTS_TOO_LARGE: return "Results Too Large";
    case LDAP_AFFECTS_MULTIPLE_DSAS: return "Affects Multiple DSAs";
    case LDAP_VIRTUAL_LIST_VIEW_ERROR: return "Virtual List View Error";
    case LDAP_OTHER: return "Other";
    case LDAP_SERVER_DOWN: return "Server Down";
    case LDAP_LOCAL_ERROR: return "Local Error";
    case LDAP_ENCODING_ERROR: return "Encoding Error";
    case LDAP_DECODING_ERROR: return "Decoding Error";
    case LDAP_TIMEOUT: return "Timeout";
    case LDAP_AUTH_UNKNOWN: return "Auth Unknown";
    case LDAP_FILTER_ERROR: return "Filter Error";
    case LDAP_USER_CANCELLED: return "User Cancelled";
    case LDAP_PARAM_ERROR: return "Parameter Error";
    case LDAP_NO_MEMORY: return "No Memory";
    case LDAP_CONNECT_ERROR: return "Can't connect to the LDAP server";
    case LDAP_NOT_SUPPORTED: return "This feature is not supported";
    case LDAP_CONTROL_NOT_FOUND: return "Control not found";
    case LDAP_NO_RESULTS_RETURNED: return "No result present in message";
    case LDAP_MORE_RESULTS_TO_RETURN: return "More results returned";
    case LDAP_CLIENT_LOOP: return "Loop while handling referrals";
    case LDAP_REFERRAL_LIMIT_EXCEEDED: return "Referral hop limit exceeded";
    default: return "Unknown error";
  }
}

}  // namespace plat
