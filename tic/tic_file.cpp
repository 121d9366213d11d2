#include "tic/tic_file.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "platform/file_system.h"
#include "util/line_reader.h"
#include "util/text.h"

bool TicFile::read(const std::string& path) {
  hold.close().ignore();
  ticPath = path;
  text.clear();
  hold = platform::File::open(path, platform::OpenMode::readToDispose);
  // Another run may have tossed the .tic and deleted it after this one found it. (One that
  // moved it to TICDir instead is noticed when its file is found gone too.)
  if (!hold.isOpen() || hold.openedStamp().links == 0) {
    hold.close().ignore();
    return false;
  }
  // Room for what the file held when it was opened, up to the limit: a complete .tic does not
  // grow.
  text.resize(
      static_cast<std::size_t>(std::min<std::uint64_t>(hold.openedStamp().size, kMaxTicSize)));
  std::size_t filled = 0;
  while (filled < text.size()) {
    const auto count = hold.read(text.data() + filled, text.size() - filled);
    if (!count) {
      text.clear();
      hold.close().ignore();
      return false;
    }
    if (*count == 0) {
      break;
    }
    filled += *count;
  }
  text.resize(filled);
  return true;
}

platform::Status TicFile::dispose(const std::string& destination) {
  return platform::disposeHeld(hold, ticPath, destination);
}

std::string TicFile::valueOf(const std::string& key) const {
  // Lines end as the line reader ends them (CR LF, a lone CR or a lone LF); they are looked at
  // in place, as this runs several times for every .tic.
  const std::string_view block(text);
  std::size_t position = 0;
  do {
    const std::string_view line = nextLine(block, position);
    const std::size_t space = line.find(' ');
    if (space != std::string_view::npos && equalsIgnoringCase(line.substr(0, space), key)) {
      const std::size_t valueStart = line.find_first_not_of(' ', space);
      return valueStart == std::string_view::npos ? std::string()
                                                  : std::string(line.substr(valueStart));
    }
  } while (position < block.size());
  return {};
}

namespace {

// CRC-32 as zip and FTN .tic files use it (reflected polynomial 0xEDB88320).
std::uint32_t crc32Of(platform::File& file, bool& readOk) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> entries{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) {
        value = (value & 1U) != 0 ? 0xEDB88320U ^ (value >> 1) : value >> 1;
      }
      entries[i] = value;
    }
    return entries;
  }();
  std::uint32_t crc = 0xFFFFFFFFU;
  char chunk[1 << 16];
  for (;;) {
    const auto count = file.read(chunk, sizeof chunk);
    if (!count) {
      readOk = false;
      return 0;
    }
    if (*count == 0) {
      break;
    }
    for (std::size_t i = 0; i < *count; ++i) {
      crc = table[(crc ^ static_cast<unsigned char>(chunk[i])) & 0xFFU] ^ (crc >> 8);
    }
  }
  readOk = true;
  return crc ^ 0xFFFFFFFFU;
}

}  // namespace

bool isDescribedFile(const TicFile& tic, const std::string& path) {
  const std::string size = trimSpaces(tic.valueOf("Size"));
  const std::string crc = trimSpaces(tic.valueOf("Crc"));
  if (size.empty() && crc.empty()) {
    return false;
  }
  platform::File file = platform::File::open(path, platform::OpenMode::readExisting);
  if (!file.isOpen()) {
    return false;
  }
  if (!size.empty()) {
    std::uint64_t expected = 0;
    const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), expected);
    if (error != std::errc() || end != size.data() + size.size() ||
        expected != file.openedStamp().size) {
      return false;
    }
  }
  if (!crc.empty()) {
    std::uint32_t expected = 0;
    const auto [end, error] = std::from_chars(crc.data(), crc.data() + crc.size(), expected, 16);
    bool readOk = false;
    if (error != std::errc() || end != crc.data() + crc.size() ||
        crc32Of(file, readOk) != expected || !readOk) {
      return false;
    }
  }
  return true;
}
