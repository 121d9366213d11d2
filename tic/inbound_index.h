#pragma once

#include <optional>
#include <string>
#include <unordered_map>

// Finds entries of the inbound directory by name, ignoring ASCII letter case. The directory is
// read once, on the first lookup, so a run with many names to find reads it once rather than
// once per name.
class InboundIndex {
 public:
  explicit InboundIndex(std::string directory) : dir(std::move(directory)) {}

  // Returns the one entry whose name equals `name` ignoring letter case, as it was when the
  // directory was read; the empty string when there is none, or more than one.
  std::string find(const std::string& name);

 private:
  std::string dir;
  // Upper-cased name to entry name; an empty entry name marks a name held by several entries.
  std::optional<std::unordered_map<std::string, std::string>> names;
};
