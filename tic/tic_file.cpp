#include "tic/tic_file.h"

#include <algorithm>

#include "platform/file_system.h"
#include "tic/verify.h"
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

bool isDescribedFile(const TicFile& tic, const std::string& path) {
  return fileFitsDescription(path, describedFile(tic));
}

std::vector<std::string> TicFile::valuesOf(const std::string& key) const {
  std::vector<std::string> values;
  const std::string_view block(text);
  std::size_t position = 0;
  while (position < block.size()) {
    const std::string_view line = nextLine(block, position);
    const std::size_t space = line.find(' ');
    if (space != std::string_view::npos && equalsIgnoringCase(line.substr(0, space), key)) {
      const std::size_t valueStart = line.find_first_not_of(' ', space);
      values.emplace_back(valueStart == std::string_view::npos ? std::string_view()
                                                               : line.substr(valueStart));
    }
  }
  return values;
}
