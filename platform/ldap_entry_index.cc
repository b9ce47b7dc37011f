#include "platform/ldap_entry_index.h"

#include <cstring>

namespace plat::detail {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;

// Eight bytes at once with the ASCII capitals made small; other bytes,
// also those above 0x7f, stay as they are.
inline uint64_t FoldWord(uint64_t x) {
  const uint64_t low = x & (0x7f * kOnes);
  const uint64_t atLeastA = low + (0x80 - 'A') * kOnes;   // top bit: byte >= 'A'
  const uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;  // top bit: byte > 'Z'
  const uint64_t capital = atLeastA & ~aboveZ & ~x & (0x80 * kOnes);
  return x | (capital >> 2);  // 0x80 >> 2 is the case bit 0x20
}

// Up to eight bytes, the rest zero; never reads past p + n.
inline uint64_t Load(const char* p, size_t n) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  if (n >= 8) {
    uint64_t w;
    std::memcpy(&w, b, 8);
    return w;
  }
  if (n >= 4) {  // two four-byte reads that may overlap (the same bytes)
    uint32_t lo;
    uint32_t hi;
    std::memcpy(&lo, b, 4);
    std::memcpy(&hi, b + n - 4, 4);
    return lo | (static_cast<uint64_t>(hi) << (8 * (n - 4)));
  }
  if (n == 0) return 0;
  return b[0] | (static_cast<uint64_t>(b[n / 2]) << (8 * (n / 2))) |
         (static_cast<uint64_t>(b[n - 1]) << (8 * (n - 1)));
}

// One element at *p (not past end): its contents, and *p moved past it.
// Tags are not checked, as libldap does not check them either.
inline bool NextElement(const unsigned char** p, const unsigned char* end,
                        std::string_view* contents) {
  const unsigned char* q = *p;
  if (q >= end) return false;
  if ((*q++ & 0x1f) == 0x1f) {  // high tag number form
    int more = 0;
    do {
      if (q >= end || ++more > 3) return false;
    } while (*q++ & 0x80);
  }
  if (q >= end) return false;
  size_t len = *q++;
  if (len & 0x80) {
    size_t n = len & 0x7f;
    if (n == 0 || n > 4 || n > static_cast<size_t>(end - q)) return false;  // no indefinite form
    len = 0;
    while (n-- != 0) len = (len << 8) | *q++;
  }
  if (len > static_cast<size_t>(end - q)) return false;
  *contents = std::string_view(reinterpret_cast<const char*>(q), len);
  *p = q + len;
  return true;
}

}  // namespace

uint32_t EntryIndex::Hash(std::string_view name) {
  uint64_t h = name.size() * 0x9e3779b97f4a7c15ull;
  for (size_t i = 0; i < name.size(); i += 8) {
    h = (h ^ FoldWord(Load(name.data() + i, name.size() - i))) * 0x9e3779b97f4a7c15ull;
    h ^= h >> 29;
  }
  return static_cast<uint32_t>(h ^ (h >> 32));
}

bool EntryIndex::SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i += 8) {
    const size_t n = a.size() - i;
    const uint64_t x = Load(a.data() + i, n);
    const uint64_t y = Load(b.data() + i, n);
    if (x != y && FoldWord(x) != FoldWord(y)) return false;
  }
  return true;
}

void EntryIndex::Reset() {
  dn_ = std::string_view();
  attrs_.clear();
  values_.clear();
  slots_.clear();
  walked_ = npos;
  malformed_ = false;
}

bool EntryIndex::Add(std::string_view partialAttribute) {
  const auto* p = reinterpret_cast<const unsigned char*>(partialAttribute.data());
  const unsigned char* end = p + partialAttribute.size();
  std::string_view name;
  std::string_view set;
  if (!NextElement(&p, end, &name) || !NextElement(&p, end, &set)) return false;
  const size_t first = values_.size();
  const auto* v = reinterpret_cast<const unsigned char*>(set.data());
  const unsigned char* setEnd = v + set.size();
  while (v < setEnd) {
    std::string_view value;
    if (!NextElement(&v, setEnd, &value)) {
      values_.resize(first);
      return false;
    }
    values_.push_back(value);
  }
  attrs_.push_back(Attribute{name, Hash(name), static_cast<uint32_t>(first),
                             static_cast<uint32_t>(values_.size() - first), true});
  return true;
}

void EntryIndex::Seal() {
  size_t n = 16;
  while (n < 2 * attrs_.size()) n *= 2;
  slots_.assign(n, 0);
  const size_t mask = n - 1;
  for (size_t i = 0; i < attrs_.size(); ++i) {
    Attribute& a = attrs_[i];
    size_t s = a.hash & mask;
    for (;;) {
      const uint32_t taken = slots_[s];
      if (taken == 0) {
        slots_[s] = static_cast<uint32_t>(i + 1);
        break;
      }
      // A repeated name keeps pointing at its first attribute.
      const Attribute& other = attrs_[taken - 1];
      if (other.hash == a.hash && SameName(other.name, a.name)) {
        a.first = false;
        break;
      }
      s = (s + 1) & mask;
    }
  }
}

size_t EntryIndex::Find(std::string_view name) const {
  if (slots_.empty()) return npos;
  if (walked_ < attrs_.size() && attrs_[walked_].first && SameName(attrs_[walked_].name, name)) {
    return walked_;
  }
  const uint32_t h = Hash(name);
  const size_t mask = slots_.size() - 1;
  for (size_t s = h & mask;; s = (s + 1) & mask) {
    const uint32_t taken = slots_[s];
    if (taken == 0) return npos;
    const Attribute& a = attrs_[taken - 1];
    if (a.hash == h && SameName(a.name, name)) return taken - 1;
  }
}

}  // namespace plat::detail
