#pragma once

#include <cstdint>
#include <string>

// The pieces of moving that differ by platform, for the moves every platform shares.
namespace platform::detail {

// True when the path itself (not what a link points to) is a directory. Otherwise, when it
// names a file and `size` is given, puts the file's size there.
bool isDirectoryEntry(const std::string& path, std::uint64_t* size = nullptr);

// Renames `source` over `destination` within one file system, replacing a file there, and
// makes the new name durable where the platform lets the rename say so.
bool renameReplacing(const std::string& source, const std::string& destination);

}  // namespace platform::detail
