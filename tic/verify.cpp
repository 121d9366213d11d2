#include "tic/verify.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "util/crc32.h"
#include "util/text.h"

namespace {

// The whole text as a number of that base; nothing for anything else.
template <typename Number>
std::optional<Number> wholeNumber(const std::string& text, int base) {
  Number value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::string upperHex8(std::uint32_t value) {
  return toUpperAnsi(toHex(value, 8, '0'));
}

bool isCountingCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
}

// "A.ZIP is 1000 bytes with CRC 0A1B2C3D; a.tic says 4000 bytes, CRC DEADBEEF": what the file
// is, then what the .tic says, each of the values the .tic gives.
std::string differenceText(const std::string& fileName, const FileFacts& facts,
                           const FileDescription& description, const std::string& ticName) {
  std::string is = fileName + " is " + std::to_string(facts.size) + " bytes";
  std::string says = ticName + " says ";
  if (!description.size.empty()) {
    says += description.size + " bytes";
  }
  if (!description.crc.empty()) {
    is += " with CRC " + upperHex8(facts.crc);
    says += (description.size.empty() ? "CRC " : ", CRC ") + description.crc;
  }
  return maskControlCharacters(is + "; " + says);
}

}  // namespace

FileDescription describedFile(const TicFile& tic) {
  return {trimSpaces(tic.valueOf("Size"), " \t"), trimSpaces(tic.valueOf("Crc"), " \t")};
}

platform::Status measureFile(const std::string& path, bool withCrc, FileFacts& facts) {
  platform::File file = platform::File::open(path, platform::OpenMode::readExisting);
  if (!file.isOpen()) {
    return file.why();
  }
  facts.size = file.openedStamp().size;
  if (!withCrc) {
    return {};
  }
  Crc32 crc;
  // Read in pieces of at most 128 KiB, no larger than the file (plus one byte, to see its end
  // in one read), and left uninitialised: most files are small.
  const std::size_t capacity =
      static_cast<std::size_t>(std::min<std::uint64_t>(facts.size + 1, 1U << 17));
  const auto chunk = std::make_unique_for_overwrite<char[]>(capacity);
  for (;;) {
    const auto count = file.read(chunk.get(), capacity);
    if (!count) {
      return count.status();
    }
    if (*count == 0) {
      break;
    }
    crc.update(chunk.get(), *count);
  }
  facts.crc = crc.value();
  return {};
}

bool fitsDescription(const FileDescription& description, const FileFacts& facts) {
  if (!description.size.empty()) {
    const auto size = wholeNumber<std::uint64_t>(description.size, 10);
    if (!size || *size != facts.size) {
      return false;
    }
  }
  if (!description.crc.empty()) {
    const auto crc = wholeNumber<std::uint32_t>(description.crc, 16);
    if (!crc || description.crc.size() > 8 || *crc != facts.crc) {
      return false;
    }
  }
  return true;
}

bool fileFitsDescription(const std::string& path, const FileDescription& description) {
  FileFacts facts;
  return !description.empty() && measureFile(path, !description.crc.empty(), facts).ok() &&
         fitsDescription(description, facts);
}

bool isRenamedCopyName(std::string_view candidate, std::string_view name) {
  if (name.empty()) {
    return false;
  }
  // rename-style postfix: the name, a dot and a number from 1 on.
  if (candidate.size() > name.size() + 1 &&
      equalsIgnoringCase(candidate.substr(0, name.size()), name) && candidate[name.size()] == '.' &&
      candidate[name.size() + 1] != '0') {
    const std::string_view number = candidate.substr(name.size() + 1);
    if (std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return true;
    }
  }
  // rename-style extension: as long as the name, the same up to the counted characters at its
  // end, which replace characters of the name's last part (never a dot).
  if (candidate.size() != name.size() || equalsIgnoringCase(candidate, name)) {
    return false;
  }
  std::size_t counted = 0;
  while (counted < name.size() && isCountingCharacter(candidate[name.size() - 1 - counted]) &&
         name[name.size() - 1 - counted] != '.') {
    ++counted;
  }
  const std::size_t kept = name.size() - counted;
  return counted > 0 && kept > 0 &&
         equalsIgnoringCase(candidate.substr(0, kept), name.substr(0, kept));
}

CheckedSource checkSource(const std::string& source, const TicFile& tic, const std::string& ticName,
                          const std::string& fileName, InboundIndex& inboundNames) {
  CheckedSource checked;
  const FileDescription description = describedFile(tic);
  if (description.empty()) {
    checked.verdict = CheckedSource::Verdict::fits;
    checked.path = source;
    return checked;
  }
  const bool withCrc = !description.crc.empty();
  FileFacts facts;
  std::string named = source;
  bool measured = measureFile(named, withCrc, facts).ok();
  if (!measured && !platform::exists(named)) {
    // Names in a .tic often differ in letter case from the file that arrived.
    if (const std::string found = inboundNames.find(fileName); !found.empty()) {
      named = platform::directoryOf(source) + found;
      measured = measureFile(named, withCrc, facts).ok();
    }
  }
  if (measured) {
    if (fitsDescription(description, facts)) {
      checked.verdict = CheckedSource::Verdict::fits;
      checked.path = named;
      return checked;
    }
    checked.verdict = CheckedSource::Verdict::differs;
    checked.path = named;
    checked.difference = differenceText(fileName, facts, description, ticName);
  }
  // The mailer keeps a file whose name was taken under another name: the copy that fits is
  // this .tic's; the others stay for their own .tic files. The lowest name is tried first.
  const std::string inbound = platform::directoryOf(source);
  std::vector<std::string> copies;
  platform::DirectorySearch search(inbound.empty() ? std::string(".") : inbound);
  std::string entry;
  while (search.next(entry)) {
    if (isRenamedCopyName(entry, fileName)) {
      copies.push_back(entry);
    }
  }
  std::sort(copies.begin(), copies.end());
  for (const std::string& copy : copies) {
    FileFacts copyFacts;
    if (measureFile(inbound + copy, withCrc, copyFacts).ok() &&
        fitsDescription(description, copyFacts)) {
      checked.verdict = CheckedSource::Verdict::fits;
      checked.path = inbound + copy;
      checked.difference.clear();
      return checked;
    }
  }
  if (checked.verdict == CheckedSource::Verdict::missing) {
    checked.path = named;
  }
  return checked;
}
