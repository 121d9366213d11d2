#pragma once

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

// The operator's map from area tag to directory, read from the area path list. Tags are
// compared byte for byte.
class AreaPathMap {
 public:
  AreaPathMap() = default;

  // Reads the area path list at `listFile`. No list named, or a missing or unreadable list,
  // gives an empty map.
  explicit AreaPathMap(const std::string& listFile);

  // Adds the entries of area path list text: "tag dir", "tag=dir" or "tag = dir" per line,
  // ";" in the first column a comment, later lines winning.
  void parse(std::string_view text);

  // Returns the directory for the tag, or the empty string when there is none.
  std::string lookup(const std::string& tag) const;

  // As lookup, but when the list has no entry of exactly the tag, the first entry (in the
  // list's order) whose tag equals it ignoring ASCII letter case answers: FTN area tags ignore
  // case.
  std::string lookupIgnoringCase(const std::string& tag) const;

  // True when the list has an entry for the tag, exactly or ignoring letter case.
  bool names(const std::string& tag) const;

  // Every entry, tag to directory, in the byte order of the tags; a directory may be empty.
  const std::map<std::string, std::string>& list() const { return entries; }

 private:
  std::map<std::string, std::string> entries;
  std::unordered_map<std::string, std::string> firstOfCase;  // upper-cased tag -> first tag
};
