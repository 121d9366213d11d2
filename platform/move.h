#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"
#include "platform/status.h"

// Moving and copying files by name. Each moves only a regular file, never a directory, a
// symbolic link or a device (checked without following a link), never onto an existing
// directory, and never leaves a partly written file under the destination name. Each puts the
// size of the file it moved into `movedSize` when that is given, and tells the cause of a
// failure. Where the caller has just taken the source's stamp (entryStamp), it gives it as
// `found`, and the source is judged by it rather than looked up again.
namespace platform {

// Renames `source` to `destination`; fails when the destination exists.
Status renameNoReplace(const std::string& source, const std::string& destination,
                       std::uint64_t* movedSize = nullptr, const FileStamp* found = nullptr);

// Copies `source` over `destination`, replacing a file there. The copy is written to a
// temporary file beside the destination and renamed into place once complete.
Status copyReplacing(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize = nullptr);

// Moves `source` to `destination`, replacing a file there; across file systems the file is
// copied as copyReplacing does and the source then deleted.
Status moveReplacing(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize = nullptr, const FileStamp* found = nullptr);

}  // namespace platform
