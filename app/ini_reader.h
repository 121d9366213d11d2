#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads values from INI text: "[section]" lines open sections, "key = value" lines give values.
// Section and key names match in any letter case; the first matching section, and in it the
// first matching key, win. Lines starting with ";" are comments.
class IniReader {
 public:
  explicit IniReader(std::string contents) : text(std::move(contents)) {}

  // Returns the value of the key: trimmed of blanks, one pair of matching quotes removed, cut to
  // 1023 bytes. Nothing when the section or key is missing; an empty value gives "".
  std::optional<std::string> value(const std::string& section, const std::string& key) const;

  // Returns the keys of the first section of that name, in file order, as written.
  std::vector<std::string> keys(const std::string& section) const;

  // Returns the name of every section, in file order, as written (trimmed of blanks); a name
  // that appears twice is listed twice.
  std::vector<std::string> sections() const;

  // Returns the value of the key as written: trimmed of blanks, quotes kept, not cut. Nothing
  // when the section or key is missing.
  std::optional<std::string> writtenValue(const std::string& section, const std::string& key) const;

  // True when a value as written is enclosed in a matching pair of quotes, which value()
  // removes.
  static bool isQuoted(std::string_view written);

  // Returns the value as text, or `fallback` when the key is missing.
  std::string getString(const std::string& section, const std::string& key,
                        const std::string& fallback) const;

  // The decimal number at the start of a value: an optional minus, then digits, taken modulo
  // 2^32; 0 when it starts otherwise.
  static std::int32_t leadingNumber(std::string_view text);

 private:
  // Calls `visit` with the key and the raw value of each "key = value" line of the first
  // section of that name, until it returns true.
  void forEachPair(const std::string& section,
                   const std::function<bool(const std::string&, const std::string&)>& visit) const;

  std::string text;
};
