// The attributes of one search result entry, read once from the entry's
// encoding, so that fetching an attribute's values by name costs a hash probe
// and the values themselves instead of a walk over every attribute before it.
// Names, values and the DN are views into the message: valid while it lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace plat::detail {

class EntryIndex {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  // Starts over for another entry; the storage is kept for reuse.
  void Reset();
  void SetDn(std::string_view dn) { dn_ = dn; }
  // Adds one attribute from the contents of its PartialAttribute SEQUENCE:
  // the type, then a SET OF values. False, and nothing added, when those
  // bytes are malformed or truncated.
  bool Add(std::string_view partialAttribute);
  // Makes the attributes added so far searchable by name.
  void Seal();
  // The entry's encoding broke off before its last attribute: the
  // attributes added are only those before the fault.
  void MarkMalformed() { malformed_ = true; }
  bool malformed() const { return malformed_; }

  std::string_view Dn() const { return dn_; }
  size_t size() const { return attrs_.size(); }
  std::string_view Name(size_t i) const { return attrs_[i].name; }
  // The first attribute whose name matches (ASCII letters compared without
  // case, as attribute descriptions are), or npos. Valid after Seal. The
  // attribute last noted as walked is tried first: values are mostly asked
  // for right after their name was handed out.
  size_t Find(std::string_view name) const;
  void NoteWalked(size_t i) { walked_ = i; }
  // The values of attribute i: *count views from the returned address.
  const std::string_view* Values(size_t i, size_t* count) const {
    *count = attrs_[i].valueCount;
    return values_.data() + attrs_[i].firstValue;
  }

 private:
  struct Attribute {
    std::string_view name;
    uint32_t hash;
    uint32_t firstValue;
    uint32_t valueCount;
    bool first;  // no attribute before it has the same name
  };
  static uint32_t Hash(std::string_view name);
  static bool SameName(std::string_view a, std::string_view b);

  std::string_view dn_;
  std::vector<Attribute> attrs_;
  std::vector<std::string_view> values_;
  // Open addressing: attribute index + 1 per slot, 0 for an empty slot; the
  // slot count is a power of two at least twice the attribute count.
  std::vector<uint32_t> slots_;
  size_t walked_ = npos;
  bool malformed_ = false;
};

}  // namespace plat::detail
