#include "values/value_printer.h"

#include <cstdio>
#include <string_view>

#include "common/process_state.h"
#include "common/string_util.h"
#include "platform/ldap_client.h"
#include "values/binary_records.h"
#include "values/binary_value.h"
#include "values/hex_dump.h"
#include "values/site_affinity.h"
#include "values/text_value.h"
#include "values/value_filter.h"

namespace {

bool IsMember(const std::map<std::string, int>& table, const std::string& name) {
  if (table.empty()) return false;
  auto it = table.find(name);
  return it != table.end() && it->second != 0;
}

void PrintBinaryValues(const std::string& attrName, std::string_view label, plat::berval** vals,
                       std::string* out) {
  const BinaryRecordKind kind = ClassifyBinaryAttribute(attrName);
  if (kind == BinaryRecordKind::kSiteAffinity) {
    const bool asDate = IsMember(g_TimeAttributes, attrName);
    for (plat::berval** v = vals; *v != nullptr; ++v) {
      AppendSiteAffinity(label, reinterpret_cast<const unsigned char*>((*v)->bv_val),
                         (*v)->bv_len, asDate, g_Utc, g_TimesSortable, out);
    }
    return;
  }
  if (kind != BinaryRecordKind::kOther) {
    std::vector<std::string_view> values;
    for (plat::berval** v = vals; *v != nullptr; ++v) values.emplace_back((*v)->bv_val, (*v)->bv_len);
    if (AppendBinaryRecords(kind, attrName, label, values, out)) return;
  }
  for (plat::berval** v = vals; *v != nullptr; ++v) {
    AppendHexDumpLine(label, reinterpret_cast<const unsigned char*>((*v)->bv_val), (*v)->bv_len,
                      g_Debug, out);
  }
}

}  // namespace

void PrintAttributeValues(const std::string& rawName, const std::string& attrName,
                          plat::LDAP* ld, plat::LDAPMessage* entry, bool noLabel, bool noCtl,
                          std::string* out, bool isDnAttribute,
                          const std::vector<std::string>* replaceDnFrom,
                          const std::map<std::string, std::string>* replaceDnMap) {
  std::string label;
  if (!noLabel) {
    label.reserve(attrName.size() + 3);
    label.push_back('>');
    label.append(attrName);
    label.append(": ");
  }

  if (IsMember(g_BinaryAttributes, attrName) || attrName.find(";binary") != std::string::npos) {
    // A ranged attribute is held by the entry under its ranged description only.
    const std::string& fetchName =
        rawName.find(";range=") != std::string::npos ? rawName : attrName;
    plat::berval** vals = plat::ldap_get_values_len(ld, entry, fetchName.c_str());
    if (vals != nullptr) {
      PrintBinaryValues(attrName, label, vals, out);
      plat::ldap_value_free_len(vals);
      return;
    }
  }

  plat::berval** vals = plat::ldap_get_values_len(ld, entry, rawName.c_str());
  if (vals == nullptr) return;

  TextValueSettings settings;
  settings.form = ChooseTextValueForm(attrName, isDnAttribute, noCtl);
  settings.utc = g_Utc;
  settings.timesSortable = g_TimesSortable;
  settings.genTimesSortable = g_GenTimesSortable;
  settings.replaceDnFrom = replaceDnFrom;
  settings.replaceDnMap = replaceDnMap;
  const ValueFilterPatterns filter = (g_MvFilterOn || g_MvNotFilterOn)
                                         ? FindValueFilterPatterns(StrToLower(attrName))
                                         : ValueFilterPatterns{};

  for (plat::berval** v = vals; *v != nullptr; ++v) {
    const std::string_view value((*v)->bv_val, (*v)->bv_len);
    // Each value is judged alone: one that holds a NUL is dumped whole, as
    // binary values are, instead of ending at its first NUL as text.
    const bool dumped = HoldsNul(value);
    const size_t lineStart = out->size();
    out->append(label);
    const size_t valueStart = out->size();
    if (dumped) {
      AppendHexDump(reinterpret_cast<const unsigned char*>(value.data()), value.size(), out);
    } else {
      AppendTextValue(settings, value.data(), value.size(), out);
    }
    // The filters test the printed value; a dropped value leaves nothing behind.
    if (filter.active() &&
        ValueFilterDrops(filter, std::string_view(out->data() + valueStart,
                                                  out->size() - valueStart))) {
      out->resize(lineStart);
      continue;
    }
    if (dumped && g_Debug) std::printf("[%zu]", value.size());
    out->push_back('\n');
  }
  plat::ldap_value_free_len(vals);
}
