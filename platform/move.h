#pragma once

#include <cstdint>
#include <string>

// Moving and copying files. None of these ever moves anything onto an existing directory,
// and none leaves a partly written file under the destination name. Each puts the size of the
// file it moved into `movedSize` when that is given.
namespace platform {

// Renames `source` to `destination`; fails when the destination exists.
bool renameNoReplace(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize = nullptr);

// Copies `source` over `destination`, replacing a file there. The copy is written to a
// temporary file beside the destination and renamed into place once complete.
bool copyReplacing(const std::string& source, const std::string& destination,
                   std::uint64_t* movedSize = nullptr);

// Moves `source` to `destination`, replacing a file there; across file systems the file is
// copied as copyReplacing does and the source then deleted.
bool moveReplacing(const std::string& source, const std::string& destination,
                   std::uint64_t* movedSize = nullptr);

}  // namespace platform
