#include "structured/security_descriptor_output.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <unordered_map>

#include "common/process_state.h"
#include "common/string_util.h"
#include "platform/security_descriptor.h"
#include "platform/sid.h"
#include "structured/ace_rendering.h"
#include "structured/acl_output.h"
#include "structured/sid_guid_text.h"
#include "values/value_filter.h"

namespace {

constexpr size_t kMaxSidText = 512;

// Position of the first tag ("D:") in text, letters in either case; npos
// when absent.
size_t FindTag(const std::string& text, char tag) {
  const char lower = static_cast<char>(tag - 'A' + 'a');
  for (size_t colon = text.find(':', 1); colon != std::string::npos;
       colon = text.find(':', colon + 1)) {
    if (text[colon - 1] == tag || text[colon - 1] == lower) return colon - 1;
  }
  return std::string::npos;
}

long Position(size_t p) { return p == std::string::npos ? -1 : static_cast<long>(p); }

// The size line's text after its prefix.
std::string SizeText(const void* descriptor, size_t length) {
  if (!plat::IsValidSecurityDescriptor(descriptor, length)) return "Invalid Security Descriptor\n";
  const float size = static_cast<float>(plat::GetSecurityDescriptorLength(descriptor, length)) /
                     static_cast<float>(g_SdSizeDivisor);
  char buf[64];
  std::snprintf(buf, sizeof buf, g_SdSizeDivisor >= 2 ? "%.2f" : "%.0f", static_cast<double>(size));
  return buf + g_SdSizeUnit + "\n";
}

// The owner or group line. part is the text from the tag to the part's end.
void AppendSidPart(const std::string& label, const char* section, size_t start, size_t end,
                   const std::string& sddl, const ValueFilterPatterns& filter, bool aceFilterOn,
                   std::string* body, std::string* header) {
  if (start == std::string::npos) {
    if (filter.show == nullptr) {
      body->append(label).append(section).append("Not specified in SD\n");
      header->clear();
    }
    return;
  }
  const std::string part = sddl.substr(start, end - start + 1);
  if (filter.active() && ValueFilterDrops(filter, part)) {
    header->clear();
    return;
  }
  if (aceFilterOn) return;
  const std::string sidText = part.substr(2, kMaxSidText);
  body->append(label).append(section).append(ResolveSidName(sidText, nullptr)).append("\n");
}

}  // namespace

namespace {

// One ACL section: at the line levels without value filters the lines go
// straight into *body, otherwise through OutputAcl.
void AppendAclSection(const std::string& label, const char* section, const std::string& sddl,
                      size_t start, size_t end, const std::string& lowerName, std::string* body) {
  if (g_SddlPlus && !g_CsvOutput && !FindValueFilterPatterns(lowerName).active()) {
    std::string prefix = label;
    prefix.append(section).push_back(' ');
    AppendAclLines(std::string_view(sddl).substr(start, end - start), lowerName, prefix, body);
    return;
  }
  body->append(OutputAcl(label, section, sddl.substr(start, end - start), lowerName));
}

}  // namespace

void OutputAclSections(const std::string& label, std::string* body, std::string* header,
                       const std::string& sddl, const std::string& attrName) {
  const std::string lowerName = StrToLower(attrName);
  const size_t d = FindTag(sddl, 'D');
  const size_t s = FindTag(sddl, 'S');
  const bool filterOn = g_MvFilterOn || g_MvNotFilterOn || g_SddlFilterCount != 0 ||
                        g_SddlNotFilterCount != 0;
  if (!g_SdNoDacl) {
    if (d != std::string::npos) {
      const size_t end = (s != std::string::npos && s > d) ? s : sddl.size();
      AppendAclSection(label, "[DACL]", sddl, d, end, lowerName, body);
    } else if (!filterOn) {
      body->append(label).append("[DACL] Not specified in SD\n");
      header->clear();
    }
  }
  if (!g_SdNoSacl) {
    if (s != std::string::npos) {
      AppendAclSection(label, "[SACL]", sddl, s, sddl.size(), lowerName, body);
    } else if (!filterOn) {
      body->append(label).append("[SACL] Not specified in SD or insufficient rights\n");
      header->clear();
    }
  }
}

namespace {

// Descriptors repeat from object to object (siblings inherit the same ACEs
// and often share an owner), and the text of a value depends only on its
// bytes, the attribute and the run's settings: each distinct value is
// rendered once, up to a bound on the memory the texts take. Debug runs
// render every value, so that each prints its debug lines.
class DescriptorTextMemo {
 public:
  // The attribute, the flags, every setting the text depends on, and the
  // value's bytes: a key made under other settings never matches.
  static std::string Key(const std::string& attrName, bool decode, bool noLabel,
                         const void* descriptor, size_t length) {
    std::string key;
    key.reserve(attrName.size() + 64 + length);
    key.append(attrName).push_back('\0');
    for (bool flag : {decode, noLabel, g_SddlPlus, g_SddlPlusPlus, g_RawSddl, g_CsvOutput,
                      g_SdNoOwner, g_SdNoGroup, g_SdNoDacl, g_SdNoSacl, g_SdAclFlagsOnly,
                      g_SdShowSize, g_ResolveSids, g_ResolveSidsViaLdap, g_MvFilterOn,
                      g_MvNotFilterOn, g_MvFilterCaseSensitive}) {
      key.push_back(flag ? '1' : '0');
    }
    key.append(std::to_string(g_SdSizeDivisor)).append(g_SdSizeUnit).push_back('\0');
    for (const std::string& field : g_SddlFilterFields) key.append(field).push_back('\0');
    key.push_back('\0');
    for (const std::string& field : g_SddlNotFilterFields) key.append(field).push_back('\0');
    key.push_back('\0');
    const ValueFilterPatterns filter = FindValueFilterPatterns(StrToLower(attrName));
    if (filter.show != nullptr) key.append(*filter.show);
    key.push_back('\0');
    if (filter.notShow != nullptr) key.append(*filter.notShow);
    key.push_back('\0');
    if (length != 0) key.append(static_cast<const char*>(descriptor), length);
    return key;
  }
  const std::string* Find(const std::string& key) {
    auto found = texts_.find(key);
    if (found == texts_.end()) return nullptr;
    ++hits_;
    return &found->second;
  }
  void Add(std::string key, const std::string& text) {
    const size_t cost = key.size() + text.size();
    if (bytes_ + cost > kMaxBytes) {
      full_ = true;
      return;
    }
    bytes_ += cost;
    texts_.emplace(std::move(key), text);
  }
  // A full memo that has spared fewer renderings than it holds texts meets
  // values that do not repeat (each descriptor names its own object, say):
  // it is not asked any more, which spares making and hashing the keys.
  bool Worthwhile() const { return !full_ || hits_ >= texts_.size(); }

 private:
  static constexpr size_t kMaxBytes = 1u << 20;
  std::unordered_map<std::string, std::string> texts_;
  size_t bytes_ = 0;
  size_t hits_ = 0;
  bool full_ = false;
};

DescriptorTextMemo& Memo() {
  static DescriptorTextMemo memo;
  return memo;
}

std::string RenderDescriptor(const std::string& attrName, bool decode, bool noLabel,
                             const void* descriptor, size_t length);

}  // namespace

std::string OutputSecurityDescriptor(const std::string& attrName, bool decode, bool noLabel,
                                     const void* descriptor, size_t length) {
  if (g_Debug || descriptor == nullptr || !Memo().Worthwhile()) {
    return RenderDescriptor(attrName, decode, noLabel, descriptor, length);
  }
  std::string key = DescriptorTextMemo::Key(attrName, decode, noLabel, descriptor, length);
  if (const std::string* text = Memo().Find(key)) return *text;
  std::string text = RenderDescriptor(attrName, decode, noLabel, descriptor, length);
  Memo().Add(std::move(key), text);
  return text;
}

namespace {

std::string RenderDescriptor(const std::string& attrName, bool decode, bool noLabel,
                             const void* descriptor, size_t length) {
  const std::string lowerName = StrToLower(attrName);
  const std::string label = noLabel ? std::string() : ">" + attrName + ": ";
  std::string header = label + "{Security Descriptor}\n";
  std::string body;
  const bool aceFilterOn = g_SddlFilterCount != 0 || g_SddlNotFilterCount != 0;

  if (g_SdShowSize) {
    if (!noLabel) body.append(">").append(attrName).append(": [SIZE] ");
    body.append(SizeText(descriptor, length));
  }

  std::string sddl;
  if (decode && plat::ConvertSecurityDescriptorToStringSecurityDescriptorA(
                    descriptor, length, plat::SDDL_REVISION_1, 15, &sddl)) {
    if (g_Debug) std::cout << "DEBUG: RawSDDL - " << sddl << "\n";
    const size_t npos = std::string::npos;
    const size_t o = sddl.find("O:"), g = sddl.find("G:"), d = sddl.find("D:"),
                 s = sddl.find("S:");
    const size_t last = sddl.empty() ? 0 : sddl.size() - 1;
    // A part ends before the next tag that follows it, else at the text's end.
    auto endBefore = [&](size_t start, std::initializer_list<size_t> next) {
      for (size_t tag : next) {
        if (tag != npos) return tag > start ? tag - 1 : last;
      }
      return last;
    };
    const size_t oEnd = o == npos ? npos : endBefore(o, {g, d, s});
    const size_t gEnd = g == npos ? npos : endBefore(g, {d, s});
    const size_t dEnd = d == npos ? npos : endBefore(d, {s});
    const size_t sEnd = s == npos ? npos : last;
    if (g_Debug) {
      auto shown = [](bool skip, size_t p) { return skip ? -1 : Position(p); };
      std::cout << "DEBUG: " << sddl.size() << " | " << Position(o) << " / "
                << shown(g_SdNoOwner, oEnd) << " | " << Position(g) << " / "
                << shown(g_SdNoGroup, gEnd) << " | " << Position(d) << " / "
                << shown(g_SdNoDacl, dEnd) << " | " << Position(s) << " / "
                << shown(g_SdNoSacl, sEnd) << "\n";
    }
    if (g_RawSddl) body.append(label).append("[SDDL] ").append(sddl).append("\n");

    const ValueFilterPatterns filter = FindValueFilterPatterns(lowerName);
    if (!g_SdNoOwner) {
      AppendSidPart(label, "[OWNER] ", o, oEnd, sddl, filter, aceFilterOn, &body, &header);
    }
    if (!g_SdNoGroup) {
      AppendSidPart(label, "[GROUP] ", g, gEnd, sddl, filter, aceFilterOn, &body, &header);
    }
    OutputAclSections(label, &body, &header, sddl, attrName);
    // Every line went through the value filter: when none is left, the
    // value prints nothing rather than its header.
    if (filter.active()) header.clear();
  }

  if (aceFilterOn) header.clear();
  return body.empty() ? header : body;
}

}  // namespace

std::string GetObjectOwnerText(bool noLabel, bool csv, const void* descriptor, size_t length) {
  const std::string prefix = (noLabel || csv) ? std::string() : ">_OBJECT_OWNER: ";
  const void* owner = nullptr;
  DWORD ownerLength = 0;
  BOOL defaulted = false;
  std::string text;
  if (plat::GetSecurityDescriptorOwner(descriptor, length, &owner, &ownerLength, &defaulted) &&
      owner != nullptr) {
    text = prefix + SidToText(owner, ownerLength);
  } else {
    text = prefix + "{UNKNOWN}";
  }
  if (text.empty()) text = "{UNKNOWN}";
  return csv ? "\"" + text + "\"" : text;
}

namespace {

uint32_t ReadLe(const BYTE* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The SID at offset, when one fits before end.
void AddSidAt(const BYTE* sd, size_t offset, size_t end, std::vector<std::string_view>* sids) {
  if (offset == 0 || offset >= end || !plat::IsValidSid(sd + offset, end - offset)) return;
  sids->emplace_back(reinterpret_cast<const char*>(sd + offset), plat::GetLengthSid(sd + offset));
}

// The trustees of the ACL at offset: the ACE types the SDDL text shows
// (allow, deny, audit, alarm and their object forms), set on the object
// itself. Inherited ACEs repeat from object to object: their few trustees
// are left to the lookups one by one.
void AddAclSids(const BYTE* sd, size_t length, size_t offset, std::vector<std::string_view>* sids) {
  if (offset == 0 || offset + 8 > length) return;
  const size_t end = std::min(length, offset + ReadLe(sd + offset + 2, 2));
  const uint32_t count = ReadLe(sd + offset + 4, 2);
  size_t at = offset + 8;
  for (uint32_t i = 0; i < count && at + 8 <= end; ++i) {
    const BYTE type = sd[at];
    const size_t aceEnd = at + ReadLe(sd + at + 2, 2);
    if (aceEnd <= at + 4 || aceEnd > end) return;
    const bool inherited = (sd[at + 1] & 0x10) != 0;
    if (!inherited && type <= 3) {
      AddSidAt(sd, at + 8, aceEnd, sids);
    } else if (!inherited && type >= 5 && type <= 8 && at + 12 <= aceEnd) {
      const uint32_t flags = ReadLe(sd + at + 8, 4);
      AddSidAt(sd, at + 12 + ((flags & 1) != 0 ? 16 : 0) + ((flags & 2) != 0 ? 16 : 0), aceEnd, sids);
    }
    at = aceEnd;
  }
}

// The owner or group SID at offset, when its line is shown: no ACE filter
// is on, and the attribute's value filters keep the part ("O:" or "G:" and
// the SID's text, as the SDDL text holds a SID without an alias).
void AddPartSid(const BYTE* sd, size_t offset, size_t length, const char* tag,
                const ValueFilterPatterns& filter, std::vector<std::string_view>* sids) {
  if (g_SddlFilterCount != 0 || g_SddlNotFilterCount != 0) return;
  const size_t before = sids->size();
  AddSidAt(sd, offset, length, sids);
  if (sids->size() == before || !filter.active()) return;
  std::string text;
  if (!plat::ConvertSidToStringSidA(sids->back().data(), sids->back().size(), &text) ||
      ValueFilterDrops(filter, tag + text)) {
    sids->pop_back();
  }
}

}  // namespace

void CollectDescriptorSids(const void* descriptor, size_t length, bool decode, bool owner,
                           const std::string& attrName, std::vector<std::string_view>* sids) {
  const auto* sd = static_cast<const BYTE*>(descriptor);
  if (sd == nullptr || length < 20) return;
  const size_t ownerAt = ReadLe(sd + 4, 4), groupAt = ReadLe(sd + 8, 4);
  const size_t sacl = ReadLe(sd + 12, 4), dacl = ReadLe(sd + 16, 4);
  if (owner) AddSidAt(sd, ownerAt, length, sids);
  if (!decode || !plat::IsValidSecurityDescriptor(descriptor, length)) return;
  const ValueFilterPatterns filter = FindValueFilterPatterns(StrToLower(attrName));
  if (!g_SdNoOwner) AddPartSid(sd, ownerAt, length, "O:", filter, sids);
  if (!g_SdNoGroup) AddPartSid(sd, groupAt, length, "G:", filter, sids);
  // The ACE renderer names the trustees at every level, unless only the
  // ACLs' flags are shown.
  if (g_SdAclFlagsOnly) return;
  if (!g_SdNoDacl) AddAclSids(sd, length, dacl, sids);
  if (!g_SdNoSacl) AddAclSids(sd, length, sacl, sids);
}
