#include "desc/desc_file_updater.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "app/toss_config.h"
#include "platform/file.h"
#include "platform/move.h"
#include "platform/system.h"
#include "util/byte_buffer.h"
#include "util/line_reader.h"
#include "util/text.h"

namespace {

// Names up to this many bytes are padded so that descriptions line up in one column.
constexpr std::size_t kNameColumns = 12;

enum class Placement {
  replaceExisting,  // rename over the old list, keeping its permission bits
  createMissing,    // take the name only while no entry of it exists
};

std::string formatEntry(const std::string& fileName, const std::string& cleaned) {
  std::string entry = fileName + "  ";
  if (fileName.size() < kNameColumns) {
    entry.append(kNameColumns - fileName.size(), ' ');
  }
  entry += cleaned;
  entry += "\r\n";
  return entry;
}

// The directory part of a path with its trailing separator; empty for a bare name.
std::string directoryOf(const std::string& path) {
  const std::size_t separator = path.rfind(platform::kSeparator);
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// A temporary file beside the list, deleted again unless it has taken the list's name.
class PendingList {
 public:
  explicit PendingList(const std::string& listPath)
      : file(platform::File::createTemporary(directoryOf(listPath), path)) {}
  ~PendingList() {
    if (!path.empty()) {
      file.close();
      platform::deleteFile(path);
    }
  }
  PendingList(const PendingList&) = delete;
  PendingList& operator=(const PendingList&) = delete;

  // Writes the contents and puts them under `listPath`. False, with the temporary file gone
  // and `listPath` untouched, when any step fails. `heldList` is the hold on the old list.
  bool install(std::string_view contents, const std::string& listPath, Placement placement,
               [[maybe_unused]] platform::File* heldList = nullptr) {
    if (!file.isOpen() || !file.write(contents)) {
      return false;
    }
    const bool permissionsSet = placement == Placement::replaceExisting
                                    ? file.copyPermissionsFrom(listPath)
                                    : file.setNewFilePermissions();
    // On the disk before the rename, so a crash leaves the old list or the new one whole.
    if (!permissionsSet || !file.sync() || !file.close()) {
      return false;
    }
#ifdef _WIN32
    // Windows renames nothing over a file that is open, even by this program, so the hold on
    // the old list ends only here, right before its replacement.
    if (heldList != nullptr) {
      heldList->close();
    }
#endif
    const bool renamed = placement == Placement::replaceExisting
                             ? platform::moveReplacing(path, listPath)
                             : platform::renameNoReplace(path, listPath);
    if (renamed) {
      path.clear();
    }
    return renamed;
  }

 private:
  std::string path;  // declared before `file`, whose creation fills it
  platform::File file;
};

// Appends every non-empty line of the old list that is not an entry of `fileName`, each
// ended by CR LF. An entry is a line whose text before its first space equals the name,
// ignoring letter case; a line without a space is nobody's entry.
bool appendOtherLines(std::string_view oldList, const std::string& fileName, ByteBuffer& output) {
  const std::string upperName = toUpperAnsi(fileName);
  const auto length = static_cast<std::uint32_t>(oldList.size());
  std::uint32_t position = 0;
  do {
    std::string line = readLine(oldList, position);
    if (line.empty()) {
      continue;
    }
    const std::size_t space = line.find(' ');
    if (space != std::string::npos &&
        toUpperAnsi(std::string_view(line).substr(0, space)) == upperName) {
      continue;
    }
    line += "\r\n";
    if (!output.append(line)) {
      return false;
    }
  } while (position < length);
  return true;
}

}  // namespace

void DescFileUpdater::setup(const TossConfig* config, const std::string& path) {
  listPath = path;
  cleaner = (config != nullptr && config->descFilter) ? cutDescription : keepDescription;
}

bool DescFileUpdater::update(const std::string& fileName, const std::string& description,
                             std::string& cleaned) {
  cleaned = cleaner != nullptr ? cleaner(description) : description;
  // An empty name would make every continuation line (which starts with a space) look like
  // its entry.
  if (listPath.empty() || fileName.empty()) {
    return false;
  }
  const std::string entry = formatEntry(fileName, cleaned);

  platform::File oldList = platform::File::open(listPath, platform::OpenMode::readExisting);
  if (!oldList.isOpen()) {
    // Missing, or held or unreadable: the new list takes the name only when nothing has it,
    // so a list that exists is never replaced by one that lacks its lines.
    return PendingList(listPath).install(entry, listPath, Placement::createMissing);
  }
  // The hold on the old list lasts until the new list has replaced it (on Windows, until just
  // before), so another run cannot read the old contents in between. A run that opened the old list
  // just before it was replaced holds a file that is no longer the list and must not write from it.
  if (!oldList.isAt(listPath)) {
    return false;
  }
  std::string block;
  if (!oldList.readAll(block) || block.size() > std::numeric_limits<std::uint32_t>::max()) {
    return false;
  }
  ByteBuffer output(static_cast<std::uint32_t>(block.size()));
  if (output.data() == nullptr || !appendOtherLines(block, fileName, output) ||
      !output.append(entry)) {
    return false;
  }
  return PendingList(listPath).install(output.view(), listPath, Placement::replaceExisting,
                                       &oldList);
}
