// The printed form of one text value of an attribute: a date for 64-bit and
// generalized times, a DN with DN replacement, line feeds escaped for names,
// control characters blanked with -noctl, or the value as it came.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

enum class TextValueForm {
  kTime64,           // 100-ns count since 1601 shown as a date
  kGeneralizedTime,  // generalized time shown as a date
  kDn,               // DN-valued: line feed escaped, then DN replacement
  kEscapedNewlines,  // cn*, distinguishedname*, name*: line feed escaped
  kScrubbed,         // -noctl: control characters become blanks
  kAsIs,
};

// The form is fixed per attribute: the first rule that applies, in the order
// of the enumeration. attrName keys the time tables (case kept); the name
// tests ignore its case.
TextValueForm ChooseTextValueForm(const std::string& attrName, bool isDnAttribute, bool noCtl);

struct TextValueSettings {
  TextValueForm form = TextValueForm::kAsIs;
  bool utc = false;
  bool timesSortable = false;     // 64-bit dates year first
  bool genTimesSortable = false;  // generalized-time dates year first
  const std::vector<std::string>* replaceDnFrom = nullptr;
  const std::map<std::string, std::string>* replaceDnMap = nullptr;
};

// Appends the printed form of the value (len bytes at value, none of them a
// NUL) to out. Nothing else is appended: no label, no line end.
void AppendTextValue(const TextValueSettings& settings, const char* value, size_t len,
                     std::string* out);
