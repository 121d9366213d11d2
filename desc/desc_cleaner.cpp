#include "desc/desc_cleaner.h"

#include <algorithm>
#include <string_view>

#include "util/text.h"

namespace {

// Characters that other systems use for decoration, separators or macros; a description is
// cut at the first of them. The codes 176-223 are the box-drawing block of code page 866 and
// are cut whatever the code page of the text.
bool isCutSymbol(char c) {
  static constexpr std::string_view kPunctuation = "$#%^*@~`'|/\\_";
  const auto code = static_cast<unsigned char>(c);
  return (code >= 1 && code <= 31) || (code >= 176 && code <= 223) ||
         kPunctuation.find(c) != std::string_view::npos;
}

}  // namespace

std::string cutDescription(const std::string& description) {
  const auto cut = std::find_if(description.begin(), description.end(), isCutSymbol);
  return trimSpaces(
      std::string_view(description).substr(0, static_cast<std::size_t>(cut - description.begin())));
}

std::string keepDescription(const std::string& description) {
  return description;
}
