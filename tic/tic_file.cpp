#include "tic/tic_file.h"

#include <algorithm>

#include "util/line_reader.h"
#include "util/text.h"

bool TicFile::read(const std::string& path) {
  hold.close();
  ticPath = path;
  text.clear();
  hold = platform::File::open(path, platform::OpenMode::readExisting);
  // Another run may have tossed the .tic and deleted it after this one found it. (One that
  // moved it to TICDir instead is noticed when its file is found gone too.)
  if (!hold.isOpen() || hold.openedStamp().links == 0) {
    hold.close();
    return false;
  }
  // Room for what the file held when it was opened, up to the limit: a complete .tic does not
  // grow.
  text.resize(static_cast<std::size_t>(
      std::min<std::uint64_t>(hold.openedStamp().size, kMaxTicSize)));
  std::size_t filled = 0;
  while (filled < text.size()) {
    const auto count = hold.read(text.data() + filled, text.size() - filled);
    if (!count) {
      text.clear();
      hold.close();
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

std::string TicFile::valueOf(const std::string& key) const {
  const std::string wanted = toUpperAnsi(key);
  const std::string_view block(text);
  std::uint32_t position = 0;
  do {
    const std::string line = readLine(block, position);
    const std::size_t space = line.find(' ');
    if (space != std::string::npos &&
        toUpperAnsi(std::string_view(line).substr(0, space)) == wanted) {
      const std::size_t start = line.find_first_not_of(' ', space);
      return start == std::string::npos ? std::string() : line.substr(start);
    }
  } while (position < text.size());
  return {};
}
