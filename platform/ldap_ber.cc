#include "platform/ldap_ber.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/ldap_client.h"
#include "platform/ldap_internal.h"

namespace plat::detail {

void BerWriter::Tag(uint32_t tag) {
  // Tags are given as their identifier octets (0x30, 0x80, 0xa0, ...).
  if (tag > 0xffffff) buf_.push_back(static_cast<char>(tag >> 24));
  if (tag > 0xffff) buf_.push_back(static_cast<char>(tag >> 16));
  if (tag > 0xff) buf_.push_back(static_cast<char>(tag >> 8));
  buf_.push_back(static_cast<char>(tag));
}

void BerWriter::Length(size_t len) {
  if (len < 0x80) {
    buf_.push_back(static_cast<char>(len));
    return;
  }
  char bytes[sizeof(size_t)];
  int n = 0;
  while (len != 0) {
    bytes[n++] = static_cast<char>(len & 0xff);
    len >>= 8;
  }
  buf_.push_back(static_cast<char>(0x80 | n));
  while (n > 0) buf_.push_back(bytes[--n]);
}

void BerWriter::Begin(uint32_t tag) {
  Tag(tag);
  open_.push_back(buf_.size());
}

bool BerWriter::End() {
  if (open_.empty()) return false;
  size_t start = open_.back();
  open_.pop_back();
  std::string content = buf_.substr(start);
  buf_.resize(start);
  Length(content.size());
  buf_.append(content);
  return true;
}

void BerWriter::Integer(int64_t value, uint32_t tag) {
  unsigned char bytes[8];
  for (int i = 7; i >= 0; --i) {
    bytes[i] = static_cast<unsigned char>(value & 0xff);
    value >>= 8;  // arithmetic shift keeps the sign
  }
  int first = 0;
  // Shortest two's complement form: drop leading bytes that only repeat the sign.
  while (first < 7 && ((bytes[first] == 0x00 && (bytes[first + 1] & 0x80) == 0) ||
                       (bytes[first] == 0xff && (bytes[first + 1] & 0x80) != 0))) {
    ++first;
  }
  Tag(tag);
  Length(8 - first);
  buf_.append(reinterpret_cast<const char*>(bytes + first), 8 - first);
}

void BerWriter::Boolean(bool value, uint32_t tag) {
  Tag(tag);
  Length(1);
  buf_.push_back(value ? static_cast<char>(0xff) : 0);
}

void BerWriter::OctetString(std::string_view bytes, uint32_t tag) {
  Tag(tag);
  Length(bytes.size());
  buf_.append(bytes);
}

void BerWriter::Null(uint32_t tag) {
  Tag(tag);
  Length(0);
}

void BerWriter::BitString(const char* bytes, uint32_t bits, uint32_t tag) {
  size_t n = (bits + 7) / 8;
  Tag(tag);
  Length(n + 1);
  buf_.push_back(static_cast<char>((8 - bits % 8) % 8));
  if (n != 0) buf_.append(bytes, n);
}

uint32_t BerReader::PeekTag() const {
  BerReader copy = *this;
  uint32_t tag = 0;
  size_t len = 0;
  if (!copy.Header(&tag, &len)) return 0;
  return tag;
}

bool BerReader::Header(uint32_t* tag, size_t* len) {
  if (p_ >= end_) return false;
  uint32_t t = *p_++;
  if ((t & 0x1f) == 0x1f) {  // high tag number form
    int more = 0;
    do {
      if (p_ >= end_ || ++more > 3) return false;
      t = (t << 8) | *p_;
    } while (*p_++ & 0x80);
  }
  if (p_ >= end_) return false;
  size_t l = *p_++;
  if (l & 0x80) {
    size_t n = l & 0x7f;
    if (n == 0 || n > sizeof(uint32_t) || n > Remaining()) return false;  // no indefinite form
    l = 0;
    for (size_t i = 0; i < n; ++i) l = (l << 8) | *p_++;
  }
  if (l > Remaining()) return false;
  *tag = t;
  *len = l;
  return true;
}

bool BerReader::Element(uint32_t* tag, std::string_view* contents) {
  size_t len = 0;
  if (!Header(tag, &len)) return false;
  *contents = std::string_view(reinterpret_cast<const char*>(p_), len);
  p_ += len;
  return true;
}

bool BerReader::Element(uint32_t* tag, BerReader* contents) {
  std::string_view v;
  if (!Element(tag, &v)) return false;
  *contents = BerReader(v.data(), v.size());
  return true;
}

bool BerReader::Skip() {
  uint32_t tag;
  std::string_view v;
  return Element(&tag, &v);
}

bool BerIntegerValue(std::string_view contents, int64_t* value) {
  if (contents.empty() || contents.size() > 8) return false;
  int64_t v = (static_cast<unsigned char>(contents[0]) & 0x80) ? -1 : 0;
  for (char c : contents) v = static_cast<int64_t>((static_cast<uint64_t>(v) << 8) | static_cast<unsigned char>(c));
  *value = v;
  return true;
}

bool BerReader::Integer(int64_t* value, uint32_t tag) {
  BerReader save = *this;
  uint32_t t;
  std::string_view v;
  if (!Element(&t, &v) || t != tag || !BerIntegerValue(v, value)) {
    *this = save;
    return false;
  }
  return true;
}

bool BerReader::OctetString(std::string_view* value, uint32_t tag) {
  BerReader save = *this;
  uint32_t t;
  if (!Element(&t, value) || t != tag) {
    *this = save;
    return false;
  }
  return true;
}

bool BerReader::Boolean(bool* value, uint32_t tag) {
  BerReader save = *this;
  uint32_t t;
  std::string_view v;
  if (!Element(&t, &v) || t != tag || v.size() != 1) {
    *this = save;
    return false;
  }
  *value = v[0] != 0;
  return true;
}

bool BerReader::Sequence(BerReader* contents, uint32_t tag) {
  BerReader save = *this;
  uint32_t t;
  if (!Element(&t, contents) || t != tag) {
    *this = save;
    return false;
  }
  return true;
}

}  // namespace plat::detail

// --- The encoder calls of the client interface --------------------------------

namespace plat {

BerElement* ber_alloc_t(int /*options: the encoding is always DER*/) {
  auto* ber = new (std::nothrow) BerElement;
  if (ber != nullptr) ber->kind = BerElement::kEncoder;
  return ber;
}

int ber_printf(BerElement* ber, const char* format, ...) {
  if (ber == nullptr || format == nullptr || ber->kind != BerElement::kEncoder) return LBER_ERROR;
  detail::BerWriter& w = ber->writer;
  va_list ap;
  va_start(ap, format);
  int rc = 0;
  uint32_t nextTag = 0;  // set by 't' for the next element only
  auto tagOr = [&nextTag](uint32_t dflt) {
    uint32_t t = nextTag != 0 ? nextTag : dflt;
    nextTag = 0;
    return t;
  };
  for (const char* f = format; *f != '\0' && rc == 0; ++f) {
    switch (*f) {
      case '{':
        w.Begin(tagOr(0x30));
        break;
      case '[':
        w.Begin(tagOr(0x31));
        break;
      case '}':
      case ']':
        if (!w.End()) rc = LBER_ERROR;
        break;
      case 'i':
        w.Integer(va_arg(ap, int), tagOr(0x02));
        break;
      case 'e':
        w.Integer(va_arg(ap, int), tagOr(0x0a));
        break;
      case 'b':
        w.Boolean(va_arg(ap, int) != 0, tagOr(0x01));
        break;
      case 'n':
        w.Null(tagOr(0x05));
        break;
      case 't':
        nextTag = va_arg(ap, ULONG);
        break;
      case 's': {
        const char* s = va_arg(ap, const char*);
        w.OctetString(s != nullptr ? std::string_view(s) : std::string_view(), tagOr(0x04));
        break;
      }
      case 'o': {
        const char* s = va_arg(ap, const char*);
        ULONG n = va_arg(ap, ULONG);
        if (s == nullptr && n != 0) {
          rc = LBER_ERROR;
          break;
        }
        w.OctetString(std::string_view(s != nullptr ? s : "", n), tagOr(0x04));
        break;
      }
      case 'O': {
        const berval* bv = va_arg(ap, const berval*);
        if (bv == nullptr || (bv->bv_val == nullptr && bv->bv_len != 0)) {
          rc = LBER_ERROR;
          break;
        }
        w.OctetString(std::string_view(bv->bv_val != nullptr ? bv->bv_val : "", bv->bv_len),
                      tagOr(0x04));
        break;
      }
      case 'v': {
        const char** list = va_arg(ap, const char**);
        uint32_t t = tagOr(0x04);
        for (size_t i = 0; list != nullptr && list[i] != nullptr; ++i) w.OctetString(list[i], t);
        break;
      }
      case 'V': {
        berval** list = va_arg(ap, berval**);
        uint32_t t = tagOr(0x04);
        for (size_t i = 0; list != nullptr && list[i] != nullptr; ++i) {
          w.OctetString(std::string_view(list[i]->bv_val != nullptr ? list[i]->bv_val : "",
                                         list[i]->bv_val != nullptr ? list[i]->bv_len : 0),
                        t);
        }
        break;
      }
      case 'X': {
        const char* bits = va_arg(ap, const char*);
        ULONG count = va_arg(ap, ULONG);
        if (bits == nullptr && count != 0) {
          rc = LBER_ERROR;
          break;
        }
        w.BitString(bits, count, tagOr(0x03));
        break;
      }
      case ' ':
      case ',':
        break;
      default:
        rc = LBER_ERROR;
        break;
    }
  }
  va_end(ap);
  return rc == 0 ? static_cast<int>(w.Bytes().size()) : LBER_ERROR;
}

int ber_flatten(BerElement* ber, berval** out) {
  if (out == nullptr) return LBER_ERROR;
  *out = nullptr;
  if (ber == nullptr || ber->kind != BerElement::kEncoder || !ber->writer.Balanced()) {
    return LBER_ERROR;
  }
  const std::string& bytes = ber->writer.Bytes();
  // One block: the record, then the bytes with a terminating zero.
  auto* bv = static_cast<berval*>(std::malloc(sizeof(berval) + bytes.size() + 1));
  if (bv == nullptr) return LBER_ERROR;
  char* data = reinterpret_cast<char*>(bv + 1);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  data[bytes.size()] = '\0';
  bv->bv_len = static_cast<ULONG>(bytes.size());
  bv->bv_val = data;
  *out = bv;
  return 0;
}

void ber_bvfree(berval* bv) { std::free(bv); }

void ber_free(BerElement* ber, int /*freeBuffer*/) {
  if (ber == nullptr) return;
  detail::ReleaseBerElement(ber);
}

}  // namespace plat
