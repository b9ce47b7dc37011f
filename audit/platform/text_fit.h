// Fitting a label's text into its box: wrapped onto the lines the box has,
// and, when it still does not fit, shortened in the middle with "..." so
// that its beginning and end stay readable (the caller then offers the full
// text, as a tooltip).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plat {

struct FittedText {
  std::vector<std::string> lines;
  bool shortened = false;
};

// Lays text out in at most maxLines lines no wider than width, as `measure`
// gives widths. A line breaks after the last backslash, slash or space that
// fits when the line is then at least a third full, otherwise between any two
// characters; characters are never cut.
FittedText FitText(const std::string& text, int width, int maxLines,
                   const std::function<double(const std::string&)>& measure);

}  // namespace plat
