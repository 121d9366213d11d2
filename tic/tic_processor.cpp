#include "tic/tic_processor.h"

#include "platform/file.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/tic_file.h"
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
#ifdef _WIN32
  // Windows drops a trailing space or dot from a name, so such a file could never be placed
  // under the name its .tic gives, and the .tic would come back run after run.
  if (!text.empty() && (text.back() == ' ' || text.back() == '.')) {
    return true;
  }
#endif
  return false;
}

}  // namespace

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && !hasSeparatorOrControl(name);
}

bool isSafeAreaTag(const std::string& tag) {
  return tag.empty() || (tag != "." && tag != ".." && !hasSeparatorOrControl(tag));
}

TicProcessor::TicProcessor(const TossConfig& config, TossServices runServices, MoveFile mover)
    : settings(config),
      services(runServices),
      move(mover),
      inboundDir(withTrailingBackslash(config.inboundDir)),
      fileechoDir(withTrailingBackslash(config.fileechoDir)),
      inboundNames(inboundDir) {}

bool TicProcessor::isReservedName(const std::string& fileName) const {
  // The area's own description list, and the program's temporary and journal files, are
  // never taken from a remote system.
  return toUpperAnsi(fileName) == toUpperAnsi(fileNameOf(settings.descFile)) ||
         fileName.compare(0, TossJournal::kOwnPrefix.size(), TossJournal::kOwnPrefix) == 0;
}

TossResult TicProcessor::processTic(const std::string& ticPath) {
  TicFile tic;
  if (!tic.read(ticPath)) {
    return TossResult::passedOver;
  }
  const std::string area = tic.valueOf("AREA");
  const std::string description = tic.valueOf("DESC");
  const std::string fileName = tic.valueOf("FILE");

  // Both values come from a remote system: neither may name anything outside the inbound
  // directory and the area tree, nor a file that the program keeps there. Such a .tic fails
  // like a file that cannot be moved.
  if (!isPlainFileName(fileName) || isReservedName(fileName)) {
    logFailure(fileName);
    return TossResult::failed;
  }
  std::string areaDir = services.areaPaths.lookup(area);
  if (areaDir.empty()) {
    if (!isSafeAreaTag(area)) {
      logFailure(fileName);
      return TossResult::failed;
    }
    areaDir = fileechoDir + area;
  }
  if (areaDirectories.insert(areaDir).second) {
    makeDirectoryPath(areaDir);
  }
  return tossFile(tic, area, fileName, description, areaDir);
}

TossResult TicProcessor::tossFile(TicFile& tic, const std::string& area,
                                  const std::string& fileName, const std::string& description,
                                  const std::string& areaDir) {
  const std::string ticName = fileNameOf(tic.path());
  const std::string destination = areaDir + platform::kSeparator + fileName;
  const std::string shownArea = maskControlCharacters(area);
  const std::string origin = maskControlCharacters(tic.valueOf("Origin"));
  const std::string cleaned = services.lists.clean(description);
  services.journal.noteToss({ticName, destination, shownArea, origin, cleaned});
  std::optional<std::uint64_t> size;
  if (!moveFrom(inboundDir + fileName, destination, size) &&
      !moveAnotherWay(tic, fileName, destination, size)) {
    if (!tic.stillInPlace()) {
      return TossResult::passedOver;  // another run tossed it just now
    }
    logFailure(fileName);
    return TossResult::failed;
  }

  movedAny = true;
  // The entry is in the list before the .tic goes, so that a toss cut short anywhere is
  // finished by the next run.
  const std::string listPath = areaDir + platform::kSeparator + settings.descFile;
  if (!services.lists.update(listPath, fileName, cleaned)) {
    services.log.writeWarning("Warning: cannot update the description list " + listPath + " for " +
                              fileName + "; the next run tries again");
    services.journal.noteUnfinished(ticName, destination);
    return TossResult::failed;
  }
  services.log.writeMove(fileName, shownArea, cleaned);
  if (!services.events.list().empty()) {
    services.lists.releaseHolds();  // an event's command may read or change the lists
  }
  services.events.runEvents(area, fileName, destination);
  services.announcer.addFile(
      AnnounceEntry{shownArea, fileName, cleaned, origin, destination, size});
  if (!disposeTic(tic)) {
    services.journal.noteUnfinished(ticName, destination);
  } else {
    services.journal.noteDone(ticName);
  }
  return TossResult::tossed;
}

bool TicProcessor::moveFrom(const std::string& source, const std::string& destination,
                            std::optional<std::uint64_t>& size) {
  std::uint64_t moved = 0;
  if (!move(source, destination, &moved)) {
    return false;
  }
  size = moved;
  return true;
}

bool TicProcessor::moveAnotherWay(const TicFile& tic, const std::string& fileName,
                                  const std::string& destination,
                                  std::optional<std::uint64_t>& size) {
  // A .tic that another run has tossed and moved to TICDir since this one read it describes a
  // file that is in place already: it is no toss of this run's.
  if (platform::exists(inboundDir + fileName) || !tic.stillInPlace()) {
    return false;
  }
  // Names in a .tic often differ in letter case from the file that arrived (FOO.ZIP for
  // foo.zip); a case-sensitive file system gets the one entry that matches ignoring case.
  const std::string found = inboundNames.find(fileName);
  if (!found.empty() && found != fileName && platform::exists(inboundDir + found)) {
    return moveFrom(inboundDir + found, destination, size);
  }
  // A run that died after moving the file left its .tic behind: the file is already in place,
  // and the rest of the toss is done now. Its journal says so; after a power loss, which the
  // journal need not survive, the file in place must be the one the .tic describes.
  if (services.journal.interruptedMove(fileNameOf(tic.path())) == destination) {
    return platform::exists(destination);
  }
  return isDescribedFile(tic, destination);
}

bool TicProcessor::disposeTic(TicFile& tic) {
  const std::string& ticPath = tic.path();
#ifdef _WIN32
  // Windows deletes and moves nothing that is open. Elsewhere the .tic stays held until it is
  // gone, so that no other run can take it up in between and toss its file a second time.
  tic.release();
#endif
  const bool disposed = settings.ticDir.empty()
                            ? platform::deleteFile(ticPath)
                            : move(ticPath, settings.ticDir + fileNameOf(ticPath), nullptr);
  tic.release();
  return disposed;
}

void TicProcessor::logFailure(const std::string& fileName) {
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + maskControlCharacters(fileName));
}

std::vector<std::string> TicProcessor::writtenPaths() const {
  std::vector<std::string> paths;
  for (const std::string& areaDir : areaDirectories) {
    paths.push_back(areaDir);
    // Where files are flushed one by one, the lists appended to need it of their own.
    paths.push_back(areaDir + platform::kSeparator + settings.descFile);
  }
  paths.push_back(inboundDir.empty() ? std::string(".") : inboundDir);
  if (!settings.ticDir.empty()) {
    paths.push_back(settings.ticDir);
  }
  return paths;
}
