#include "values/flag_decoder.h"

#include <cstring>

#include "common/process_state.h"
#include "common/string_util.h"
#include "common/time_text.h"
#include "platform/ldap_client.h"
#include "values/binary_value.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Appends names with ";" between them.
class NameList {
 public:
  explicit NameList(std::string* out) : out_(out) {}
  std::string* Next() {
    if (any_) out_->push_back(';');
    any_ = true;
    return out_;
  }
  void Add(std::string_view name) { Next()->append(name); }

 private:
  std::string* out_;
  bool any_ = false;
};

void AppendRemainder(const char* open, uint32_t word, NameList* names) {
  std::string* out = names->Next();
  out->append(open);
  out->append(IntToString(static_cast<int32_t>(word)));
  out->push_back(')');
}

// Named bits in table order; returns the word with those bits cleared.
uint32_t TakeFlags(const DecoderBlock& block, uint32_t word, NameList* names) {
  const bool invalid = block.indexBit != 0 && (word & block.indexBit) == 0;
  for (const FlagRow& row : block.flags) {
    if ((word & row.bits) != row.bits) continue;
    std::string* out = names->Next();
    if (row.indexDependent && invalid) out->append("INVALID ");
    out->append(row.name);
    word &= ~row.bits;
  }
  return word;
}

uint32_t TakeField(const FieldNames& field, uint32_t word, NameList* names) {
  const uint32_t masked = word & field.mask;
  const uint32_t value = masked >> field.shift;
  const std::string maskedText = IntToString(static_cast<int32_t>(masked));
  std::string* out = names->Next();
  if (value < field.names.size()) {
    out->append(field.names[value]);
    out->push_back('(');
    out->append(maskedText);
  } else {
    out->append(field.unknownName);
    out->push_back('(');
    out->append(maskedText);
    out->push_back('|');
    out->append(UIntToString(value, 10));
  }
  out->push_back(')');
  return word & ~field.mask;
}

// One line: the label, the value, " [", its names, "]\n".
void AppendDecodedValue(const DecoderBlock* block, std::string_view label, std::string_view value,
                        std::string* out) {
  out->append(label);
  out->append(value);
  out->append(" [");
  AppendValueNames(block, value, out);
  out->append("]\n");
}

std::string LabelOf(const std::string& attrName, bool noLabel) {
  return noLabel ? std::string() : ">" + attrName + ": ";
}

}  // namespace

uint32_t ReadFlagNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

const DecoderBlock* FindDecoderBlock(const FlagDecoder& decoder, std::string_view lowerName) {
  for (const DecoderBlock& block : decoder.blocks) {
    const bool fits = decoder.nameTest == NameTest::kExact ? lowerName == block.name
                                                           : lowerName.starts_with(block.name);
    if (fits) return &block;
  }
  return nullptr;
}

void AppendValueNames(const DecoderBlock* block, std::string_view value, std::string* out) {
  if (block == nullptr) return;
  NameList names(out);
  switch (block->kind) {
    case BlockKind::kFlagWord: {
      uint32_t word = TakeFlags(*block, ReadFlagNumber(value), &names);
      if (block->field != nullptr) word = TakeField(*block->field, word, &names);
      if (word != 0) AppendRemainder(block->remainderOpen, word, &names);
      break;
    }
    case BlockKind::kNumberEquals: {
      const uint32_t number = ReadFlagNumber(value);
      for (const NumberRow& row : block->numbers) {
        if (row.value == number) {
          names.Add(row.name);
          break;
        }
      }
      break;
    }
    case BlockKind::kTextEquals:
      for (const TextRow& row : block->texts) {
        if (row.text == value) {
          names.Add(row.name);
          break;
        }
      }
      break;
    case BlockKind::kInterval:
      names.Add(FormatInterval(std::string(value), block->intervalUnit));
      break;
  }
}

void AppendDecodedValues(const FlagDecoder& decoder, const std::string& attrName,
                         const char* const* values, bool noLabel, std::string* out) {
  // The name is the same for every value: its block is found once.
  const DecoderBlock* block = FindDecoderBlock(decoder, StrToLower(attrName));
  const std::string label = LabelOf(attrName, noLabel);
  for (const char* const* v = values; *v != nullptr; ++v) {
    AppendDecodedValue(block, label, std::string_view(*v, std::strlen(*v)), out);
  }
}

void DecodeAttributeValues(const FlagDecoder& decoder, const std::string& rawName,
                           const std::string& attrName, plat::LDAP* ld, plat::LDAPMessage* entry,
                           bool noLabel, std::string* out) {
  plat::berval** values = plat::ldap_get_values_len(ld, entry, rawName.c_str());
  if (values == nullptr) return;
  const DecoderBlock* block = FindDecoderBlock(decoder, StrToLower(attrName));
  const std::string label = LabelOf(attrName, noLabel);
  for (plat::berval** v = values; *v != nullptr; ++v) {
    const std::string_view value((*v)->bv_val, (*v)->bv_len);
    // A value holding a NUL is no number or name: it is dumped whole.
    if (HoldsNul(value)) {
      AppendHexDumpLine(label, reinterpret_cast<const unsigned char*>(value.data()), value.size(),
                        g_Debug, out);
    } else {
      AppendDecodedValue(block, label, value, out);
    }
  }
  plat::ldap_value_free_len(values);
}
