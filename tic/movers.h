#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"
#include "platform/status.h"

// How a file is moved into its area (and a .tic into TICDir): the two ways of the two Windows
// families, both built everywhere. Each succeeds when the file is at the destination, and
// puts its size into `movedSize` when that is given; a failure tells its cause. `found`, when
// given, is the source's stamp just taken, which spares looking it up again.
using MoveFile = platform::Status (*)(const std::string& source, const std::string& destination,
                                      std::uint64_t* movedSize, const platform::FileStamp* found);

// Moves as the Windows 95/98 family does: rename without replacing; when that fails, copy over
// the destination and delete the source (a source that cannot be deleted still counts).
platform::Status moveLikeWin9x(const std::string& source, const std::string& destination,
                               std::uint64_t* movedSize = nullptr,
                               const platform::FileStamp* found = nullptr);

// Moves as the Windows NT family does: one move that replaces the destination, copying across
// file systems.
platform::Status moveLikeNt(const std::string& source, const std::string& destination,
                            std::uint64_t* movedSize = nullptr,
                            const platform::FileStamp* found = nullptr);
