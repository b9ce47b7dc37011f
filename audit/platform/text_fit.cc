#include "audit/platform/text_fit.h"

#include "audit/platform/utf8_text.h"

namespace plat {

namespace {

// The text split into its characters.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> chars;
  for (size_t i = 0; i < text.size();) {
    std::string c = FirstChar(text.substr(i, 4));
    chars.push_back(c);
    i += c.size();
  }
  return chars;
}

bool IsBreakAfter(const std::string& c) { return c == "\\" || c == "/" || c == " "; }

// Wraps the characters into lines no wider than width; false when more than
// maxLines are needed.
bool Wrap(const std::vector<std::string>& chars, int width, int maxLines,
          const std::function<double(const std::string&)>& measure,
          std::vector<std::string>* lines) {
  lines->clear();
  size_t start = 0;
  while (start < chars.size()) {
    if (static_cast<int>(lines->size()) == maxLines) return false;
    std::string line;
    size_t end = start, lastBreak = 0;
    while (end < chars.size() && measure(line + chars[end]) <= width) {
      line += chars[end];
      ++end;
      if (IsBreakAfter(chars[end - 1])) lastBreak = end;
    }
    if (end == start) {  // not even one character fits: it takes a line of its own
      line = chars[start];
      end = start + 1;
    } else if (end < chars.size() && chars[end] != " " && lastBreak > start &&
               (lastBreak - start) * 3 >= end - start) {
      // Broken after a separator unless that leaves the line two-thirds empty.
      end = lastBreak;
      line.clear();
      for (size_t i = start; i < end; ++i) line += chars[i];
    }
    lines->push_back(line);
    // A space where the line breaks is the break itself.
    if (end < chars.size() && chars[end] == " " && end > start) ++end;
    start = end;
  }
  return true;
}

}  // namespace

FittedText FitText(const std::string& text, int width, int maxLines,
                   const std::function<double(const std::string&)>& measure) {
  FittedText out;
  if (maxLines < 1) maxLines = 1;
  std::vector<std::string> chars = Characters(text);
  if (Wrap(chars, width, maxLines, measure, &out.lines)) return out;

  // Too long: take the fewest characters out of the middle that makes it fit.
  out.shortened = true;
  auto shortenedBy = [&](size_t removed) {
    size_t keep = chars.size() - removed;
    // The end gets the odd character: a path's last names say the most.
    size_t head = keep / 2, tail = keep - head;
    std::vector<std::string> s(chars.begin(), chars.begin() + static_cast<long>(head));
    s.push_back("...");  // one piece, never broken across lines
    s.insert(s.end(), chars.end() - static_cast<long>(tail), chars.end());
    return s;
  };
  size_t low = 1, high = chars.size();  // removing every character always "fits"
  std::vector<std::string> lines;
  while (low < high) {
    size_t mid = (low + high) / 2;
    if (Wrap(shortenedBy(mid), width, maxLines, measure, &lines)) high = mid;
    else low = mid + 1;
  }
  if (!Wrap(shortenedBy(low), width, maxLines, measure, &out.lines)) {
    out.lines.assign(1, "...");
  }
  return out;
}

}  // namespace plat
