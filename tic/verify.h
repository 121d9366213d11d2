#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "tic/inbound_index.h"
#include "tic/tic_file.h"

// What a .tic says of its file: "Size" (decimal bytes) and "Crc" (CRC-32, hexadecimal digits
// in any case), each as written without its blanks; empty when the .tic does not give it.
struct FileDescription {
  std::string size;
  std::string crc;

  bool empty() const { return size.empty() && crc.empty(); }
};

// Reads "Size" and "Crc" of the .tic.
FileDescription describedFile(const TicFile& tic);

// What a file is: its size, and its CRC-32 when it was asked for.
struct FileFacts {
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
};

// Reads the file at `path` once, holding it: its size, and its CRC-32 when `withCrc`. Fails
// with the cause when it is missing, held by another program, no regular file or unreadable.
platform::Status measureFile(const std::string& path, bool withCrc, FileFacts& facts);

// True when the facts fit every value that the description gives. A value that does not read
// as a number (decimal Size, hexadecimal Crc of at most 8 digits) fits no file.
bool fitsDescription(const FileDescription& description, const FileFacts& facts);

// True when `path` names a file that fits the description; false for an empty description
// and for a file that cannot be read.
bool fileFitsDescription(const std::string& path, const FileDescription& description);

// True when `candidate` is a name that binkd gives a received file `name` while that name is
// taken in its inbound: "name.1", "name.2", ... (rename-style postfix, its default), or `name`
// with its last characters counted up in digits and small letters, never across a dot
// ("FILE.ZIP" gives "FILE.ZI0" ... "FILE.ZIz", "FILE.Z00", ...; rename-style extension).
// Letter case is ignored, as the mailer may change it.
bool isRenamedCopyName(std::string_view candidate, std::string_view name);

// The file of a toss as checked against its .tic.
struct CheckedSource {
  enum class Verdict {
    fits,     // `path` fits what the .tic says: the file to move
    missing,  // nothing under the .tic's name, and no renamed copy that fits
    differs,  // the file under the .tic's name differs, and no renamed copy fits
  };
  Verdict verdict = Verdict::missing;
  std::string path;        // the file that fits, or the one that differs
  std::string difference;  // what differs, in words, for a warning
};

// Finds the file that a .tic describes in the inbound: the one under its name (`source`),
// else the one copy that the mailer renamed and that fits. A .tic that gives neither Size nor
// Crc takes `source` as it is. `ticName` and `fileName` word the difference: "A.ZIP is 1000
// bytes with CRC 0A1B2C3D; a.tic says 4000 bytes, CRC DEADBEEF".
CheckedSource checkSource(const std::string& source, const TicFile& tic, const std::string& ticName,
                          const std::string& fileName, InboundIndex& inboundNames);
