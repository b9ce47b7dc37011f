// The engine shared by the flag and enumeration decoders. Each decoder is a
// table (values/flag_decoders.cc) of blocks, one per attribute name it knows;
// the engine prints every value of the attribute as
//   [">" name ": "] value " [" names joined by ";" "]\n"
// where the names are what the block's rows make of the value.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace plat {
struct LDAP;
struct LDAPMessage;
}  // namespace plat

// How a block's name is compared with the lower-cased attribute name.
enum class NameTest : uint8_t {
  kExact,   // same text
  kPrefix,  // the attribute name begins with the block's name
};

enum class BlockKind : uint8_t {
  kFlagWord,      // named bits, the block's field if any, then the remainder
  kNumberEquals,  // the number equal to a row adds its name
  kTextEquals,    // the whole value text equal to a row adds its name
  kInterval,      // the value in minutes or days (FormatInterval)
};

// A named bit (or group of bits): it applies when every one of its bits is
// set in the word, adds its name and clears its bits.
struct FlagRow {
  uint32_t bits;
  const char* name;
  bool indexDependent = false;  // written after the block's invalid prefix
};

struct NumberRow {
  uint32_t value;
  const char* name;
};

struct TextRow {
  std::string_view text;
  const char* name;
};

// A field of the word read as a small number: the masked bits are cleared
// and always add one name, the entry of the field's value followed by
// "(" + the masked bits as a signed decimal + ")". A value beyond the named
// entries adds unknownName + "(" + masked + "|" + value + ")".
struct FieldNames {
  uint32_t mask;
  int shift;
  std::span<const char* const> names;
  const char* unknownName;
};

struct DecoderBlock {
  std::string_view name;
  BlockKind kind;
  std::span<const FlagRow> flags = {};
  std::span<const NumberRow> numbers = {};
  std::span<const TextRow> texts = {};
  // Flag words: the remainder is written as remainderOpen + signed decimal + ")".
  const char* remainderOpen = "UNKNOWN_FLAGS(";
  // When non-zero and this bit is clear, index-dependent rows are written
  // after "INVALID ".
  uint32_t indexBit = 0;
  int intervalUnit = 0;            // kInterval: FormatInterval's unit
  const FieldNames* field = nullptr;  // kFlagWord: a numbered field after the bits
};

struct FlagDecoder {
  NameTest nameTest;
  std::span<const DecoderBlock> blocks;
};

// A value text read as a 32-bit word: leading white space, one optional sign,
// then decimal digits up to the first other character, each step value * 10
// + digit wrapping around in 32 bits; "-" negates. No digits read as 0.
// Defined for every text (unsigned arithmetic throughout).
uint32_t ReadFlagNumber(std::string_view text);

// The block of the decoder that serves this lower-cased name, or null.
const DecoderBlock* FindDecoderBlock(const FlagDecoder& decoder, std::string_view lowerName);

// Appends the names that the block makes of one value, joined with ";"
// (without the brackets). A null block appends nothing.
void AppendValueNames(const DecoderBlock* block, std::string_view value, std::string* out);

// Appends one line per value of the null-terminated array, as described at
// the top. attrName is the server's spelling: it is the label, and its
// lower-cased copy picks the block.
void AppendDecodedValues(const FlagDecoder& decoder, const std::string& attrName,
                         const char* const* values, bool noLabel, std::string* out);

// Fetches the attribute's values under rawName and appends their lines; an
// entry without values under that name appends nothing. A value whose bytes
// hold a NUL is printed whole as a hex-dump line instead.
void DecodeAttributeValues(const FlagDecoder& decoder, const std::string& rawName,
                           const std::string& attrName, plat::LDAP* ld, plat::LDAPMessage* entry,
                           bool noLabel, std::string* out);
