#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"
#include "platform/status.h"

// The pieces of moving that differ by platform, for the moves every platform shares.
namespace platform::detail {

// Succeeds when the path itself (not what a link points to) is a regular file, and puts its size
// into `size` when that is given.
Status regularFileEntry(const std::string& path, std::uint64_t* size = nullptr);

// As regularFileEntry, judged from `found`, the entry's stamp as entryStamp took it.
Status regularFileEntry(const FileStamp& found, std::uint64_t* size = nullptr);

// The source of a move as regularFileEntry judges it: by `found` when given, else looked up.
Status movableSource(const std::string& path, std::uint64_t* size, const FileStamp* found);

// Fails when the path names a directory (so that nothing is ever moved onto one).
Status notDirectory(const std::string& path);

// Renames `source` over `destination` within one file system, replacing a file there, and
// makes the new name durable where the platform lets the rename say so.
Status renameReplacing(const std::string& source, const std::string& destination);

// True when a rename failed only because source and destination lie on different file systems
// (or volumes): the file can still be copied.
bool isCrossDevice(const Status& renamed);

// Lets go of a hold before its file is replaced or renamed, where the system renames nothing
// that is open (Windows); elsewhere the hold stays.
void releaseBeforeRename(File& held);

}  // namespace platform::detail
