#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the announcement is told about one tossed file.
struct AnnounceEntry {
  std::string area;                        // the area tag
  std::string fileName;                    // the file's name as the .tic gives it
  std::string description;                 // the cleaned description
  std::string origin;                      // the .tic's "Origin" value, possibly empty
  std::string destinationPath;             // the full path of the placed file
  std::optional<std::uint64_t> size = {};  // known from placing it; else the file is looked at
};
