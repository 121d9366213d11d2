#include "tic/tic_processor.h"

#include "announce/announcer.h"
#include "app/toss_config.h"
#include "desc/area_path_map.h"
#include "desc/desc_file_updater.h"
#include "events/event_table.h"
#include "log/run_log.h"
#include "platform/file.h"
#include "platform/system.h"
#include "res/messages.h"
#include "util/line_reader.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

bool hasSeparatorOrControl(const std::string& text) {
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || code < 32 || code == 127) {
      return true;
    }
#ifdef _WIN32
    // A drive ("C:name") or an alternate data stream ("name:stream") is no plain name there.
    if (c == ':') {
      return true;
    }
#endif
  }
  return false;
}

// A name from a .tic shown in the log with its control characters made harmless, so that a
// hostile name cannot forge log lines or send escape sequences.
std::string printable(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 || code == 127) {
      c = '?';
    }
  }
  return result;
}

}  // namespace

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && !hasSeparatorOrControl(name);
}

bool isSafeAreaTag(const std::string& tag) {
  return tag.empty() || (tag != "." && tag != ".." && !hasSeparatorOrControl(tag));
}

bool TicProcessor::moveFile(const std::string& source, const std::string& destination) {
  static_cast<void>(source);
  static_cast<void>(destination);
  return false;
}

void TicProcessor::configure(const TossConfig* target) {
  config = target;
  log = target->log;
  areaPaths = target->areaPaths;
  events = target->events;
  inboundDir = withTrailingBackslash(target->inboundDir);
  fileechoDir = withTrailingBackslash(target->fileechoDir);
  inboundNames = std::make_unique<InboundIndex>(inboundDir);
}

bool TicProcessor::readTic() {
  tic.contents.clear();
  tic.contentLength = 0;
  platform::File file = platform::File::open(tic.ticPath, platform::OpenMode::readExisting);
  if (!file.isOpen()) {
    return false;
  }
  std::string contents;
  contents.resize(kMaxTicSize);
  std::size_t filled = 0;
  while (filled < contents.size()) {
    const auto count = file.read(contents.data() + filled, contents.size() - filled);
    if (!count) {
      return false;
    }
    if (*count == 0) {
      break;
    }
    filled += *count;
  }
  contents.resize(filled);
  tic.contents = std::move(contents);
  tic.contentLength = static_cast<std::uint32_t>(filled);
  return true;
}

std::string TicProcessor::valueOf(const std::string& key) const {
  const std::string wanted = toUpperAnsi(key);
  const std::string_view block(tic.contents.data(), tic.contentLength);
  std::uint32_t position = 0;
  do {
    const std::string line = readLine(block, position);
    const std::size_t space = line.find(' ');
    if (space != std::string::npos &&
        toUpperAnsi(std::string_view(line).substr(0, space)) == wanted) {
      const std::size_t start = line.find_first_not_of(' ', space);
      return start == std::string::npos ? std::string() : line.substr(start);
    }
  } while (position < tic.contentLength);
  return {};
}

bool TicProcessor::processTic() {
  tic.area = valueOf("AREA");
  tic.description = valueOf("DESC");
  tic.fileName = valueOf("FILE");

  // Both values come from a remote system: neither may name anything outside the inbound
  // directory and the area tree. Such a .tic fails like a file that cannot be moved.
  if (!isPlainFileName(tic.fileName)) {
    logFailure();
    return false;
  }
  std::string areaDir = areaPaths != nullptr ? areaPaths->lookup(tic.area) : std::string();
  if (areaDir.empty()) {
    if (!isSafeAreaTag(tic.area)) {
      logFailure();
      return false;
    }
    areaDir = fileechoDir + tic.area;
  }
  makeDirectoryPath(areaDir);
  return tossFile(areaDir);
}

bool TicProcessor::tossFile(const std::string& areaDir) {
  std::string source = inboundDir + tic.fileName;
  // Names in a .tic often differ in letter case from the file that arrived (FOO.ZIP for
  // foo.zip); a case-sensitive file system gets the one entry that matches ignoring case.
  if (!platform::exists(source) && inboundNames) {
    const std::string found = inboundNames->find(tic.fileName);
    if (!found.empty()) {
      source = inboundDir + found;
    }
  }
  const std::string destination = areaDir + platform::kSeparator + tic.fileName;

  DescFileUpdater updater;
  updater.setup(config, areaDir + platform::kSeparator + config->descFile);

  if (!moveFile(source, destination)) {
    logFailure();
    return false;
  }
  disposeTic();

  std::string cleaned;
  updater.update(tic.fileName, tic.description, cleaned);
  if (log != nullptr) {
    log->writeMove(tic.fileName, tic.area, cleaned);
  }
  if (events != nullptr) {
    events->runEvents(tic.area, tic.fileName, destination);
  }
  if (config->announcer != nullptr) {
    config->announcer->addFile(
        AnnounceEntry{tic.area, tic.fileName, cleaned, valueOf("Origin"), destination, areaDir});
  }
  return true;
}

bool TicProcessor::disposeTic() {
  if (config->ticDir.empty()) {
    return platform::deleteFile(tic.ticPath);
  }
  return moveFile(tic.ticPath, config->ticDir + fileNameOf(tic.ticPath));
}

void TicProcessor::logFailure() {
  if (log != nullptr) {
    log->writeLine(loadMessage(msg::kCantMove) + " " + printable(tic.fileName));
  }
}
