// The description cleaners: cutting at decoration symbols and trimming spaces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desc/desc_cleaner.h"

namespace {

TEST(CutDescription, CutsAtExactlyTheNinetyTwoCutSymbols) {
  const std::string punctuation = "$#%^*@~`'|/\\_";
  int cuts = 0;
  for (int code = 0; code < 256; ++code) {
    const std::string raw = std::string("Good ") + static_cast<char>(code) + " tail";
    const bool expected = (code >= 1 && code <= 31) || (code >= 176 && code <= 223) ||
                          punctuation.find(static_cast<char>(code)) != std::string::npos;
    EXPECT_EQ(cutDescription(raw), expected ? "Good" : raw) << "code " << code;
    cuts += expected ? 1 : 0;
  }
  EXPECT_EQ(cuts, 92);
}

TEST(CutDescription, CutsAtFirstSymbolThenTrimsOnlySpaces) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"   padded both ends   ", "padded both ends"},
      {"inner   spaces stay", "inner   spaces stay"},
      {"Utilities / Archivers", "Utilities"},
      {"Don't cut me", "Don"},
      {"*** NEW ***", ""},
      {"\xB3 boxed", ""},
      {"Tab\there", "Tab"},
      {" .dots. ", ".dots."},
      {"    ", ""},
      {"", ""},
  };
  for (const auto& [raw, cleaned] : cases) {
    EXPECT_EQ(cutDescription(raw), cleaned) << raw;
    EXPECT_EQ(keepDescription(raw), raw);
  }
}

}  // namespace
