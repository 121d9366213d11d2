#include "events/event_table.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/file.h"
#include "platform/process.h"
#include "util/line_reader.h"
#include "util/text.h"

namespace {

// Splits one line of the events list into its three fields. Fields are separated by spaces
// only; a tab is part of the text around it. Nothing for a comment or a line of fewer than
// three fields.
std::optional<EventEntry> parseEventLine(const std::string& line) {
  if (!line.empty() && line.front() == ';') {
    return std::nullopt;
  }
  const std::size_t areaEnd = line.find(' ');
  if (areaEnd == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t fileStart = line.find_first_not_of(' ', areaEnd);
  if (fileStart == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t fileEnd = line.find(' ', fileStart);
  if (fileEnd == std::string::npos) {
    return std::nullopt;
  }
  const std::string_view text(line);
  return EventEntry{trimSpaces(text.substr(0, areaEnd)),
                    trimSpaces(text.substr(fileStart, fileEnd - fileStart)),
                    trimSpaces(text.substr(fileEnd + 1))};
}

}  // namespace

bool matchMask(std::string mask, std::string text) {
  mask = toUpperAnsi(mask);
  text = toUpperAnsi(text);
  const std::size_t positions = std::max(mask.size(), text.size());
  for (std::size_t i = 0; i < positions; ++i) {
    if (i >= mask.size() || i >= text.size()) {
      return false;
    }
    if (mask[i] == '?') {
      continue;
    }
    // A star takes the rest of the text, provided at least one character is there; whatever
    // follows it in the mask is never looked at.
    if (mask[i] == '*') {
      return true;
    }
    if (mask[i] != text[i]) {
      return false;
    }
  }
  return true;
}

bool matchFileMask(const std::string& mask, const std::string& fileName) {
  const std::size_t nameDot = fileName.rfind('.');
  if (nameDot == std::string::npos) {
    return matchMask(mask, fileName);
  }
  const std::size_t maskDot = mask.rfind('.');
  std::string maskName = mask;
  std::string maskExtension = mask;
  if (maskDot != std::string::npos) {
    maskName = mask.substr(0, maskDot);
    maskExtension = mask.substr(maskDot + 1);
  }
  // Either part is enough: the name is tried first, the extension only when the name fails.
  return matchMask(maskName, fileName.substr(0, nameDot)) ||
         matchMask(maskExtension, fileName.substr(nameDot + 1));
}

std::string describeMask(const std::string& mask) {
  if (mask.empty()) {
    return "nothing but an empty text";
  }
  const std::size_t star = mask.find('*');
  const std::string fixed = mask.substr(0, star);
  std::string words = fixed;
  if (star != std::string::npos) {
    words = fixed.empty() ? "anything" : fixed + " followed by anything";
  }
  if (fixed.find('?') != std::string::npos) {
    words += " (? being any one character)";
  }
  return words;
}

std::string describeEvent(const EventEntry& entry, const std::string& flagsDir) {
  const std::string area = describeMask(entry.areaMask);
  std::string words = area == "anything" ? "any area" : "area " + area;
  // Either part of a file name is enough, as matchFileMask tries them.
  const std::size_t dot = entry.fileMask.rfind('.');
  if (dot == std::string::npos) {
    words += "; files whose name or extension is " + describeMask(entry.fileMask);
  } else {
    words += "; files whose name is " + describeMask(entry.fileMask.substr(0, dot)) +
             " or whose extension is " + describeMask(entry.fileMask.substr(dot + 1));
  }
  const std::string& command = entry.command;
  if (command.empty()) {
    return words + "; does nothing (no command)";
  }
  if (command.front() == '%') {
    const std::size_t keywordEnd = command.find('%', 1);
    if (keywordEnd == std::string::npos ||
        toUpperAnsi(command.substr(1, keywordEnd - 1)) != "FLG") {
      return words + "; does nothing (%FLG% is the only keyword)";
    }
    return words + "; makes the flag file " + flagsDir + command.substr(keywordEnd + 1);
  }
  return words + "; runs " + command;
}

std::vector<EventEntry> readEventList(const std::string& eventsFile) {
  std::vector<EventEntry> entries;
  if (eventsFile.empty()) {
    return entries;
  }
  const platform::Result<std::string> contents =
      platform::readWholeFile(eventsFile, platform::kHoldWait);
  if (!contents) {
    return entries;
  }
  // The line reader counts in 32 bits; a list beyond 4 GiB is read up to that point.
  std::string_view block(*contents);
  block = block.substr(
      0, std::min<std::size_t>(block.size(), std::numeric_limits<std::uint32_t>::max()));
  std::uint32_t position = 0;
  while (position < block.size()) {
    if (std::optional<EventEntry> entry = parseEventLine(readLine(block, position))) {
      entries.push_back(std::move(*entry));
    }
  }
  return entries;
}

EventTable::EventTable(const std::string& eventsFile, std::string flagsDirectory,
                       std::int32_t processTime, EventReports eventReports)
    : flagsDir(std::move(flagsDirectory)),
      processTimeMs(processTime),
      reports(std::move(eventReports)),
      entries(readEventList(eventsFile)) {}

EventsOutcome EventTable::runEvents(const std::string& area, const std::string& fileName,
                                    const std::string& destinationPath) {
  EventsOutcome outcome;
  for (const EventEntry& entry : entries) {
    if (matchMask(entry.areaMask, area) && matchFileMask(entry.fileMask, fileName)) {
      runAction(entry, fileName, destinationPath, outcome);
    }
  }
  troubled = troubled || outcome.troubled;
  return outcome;
}

void EventTable::runAction(const EventEntry& entry, const std::string& fileName,
                           const std::string& destinationPath, EventsOutcome& outcome) {
  const std::string& command = entry.command;
  if (!command.empty() && command.front() == '%') {
    const std::size_t keywordEnd = command.find('%', 1);
    if (keywordEnd == std::string::npos ||
        toUpperAnsi(command.substr(1, keywordEnd - 1)) != "FLG") {
      return;
    }
    // The flag is created empty, or emptied when it exists, and closed at once.
    platform::File::open(flagsDir + command.substr(keywordEnd + 1),
                         platform::OpenMode::createTruncate);
    return;
  }
  // With no command of its own the interpreter would be told to run the received file itself,
  // a file that came from another system. Such an event does nothing.
  if (command.empty()) {
    return;
  }
  const platform::RunResult result =
      platform::runWithTimeout(command, destinationPath, fileName, processTimeMs);
  if (result.outcome != platform::RunOutcome::finished || result.status != 0) {
    report(result, command, fileName, outcome);
  }
}

namespace {

std::string limitInWords(std::int32_t milliseconds) {
  return milliseconds % 1000 == 0 ? std::to_string(milliseconds / 1000) + " s"
                                  : std::to_string(milliseconds) + " ms";
}

void tell(const std::function<void(const std::string&)>& to, const std::string& line) {
  if (to) {
    to(line);
  }
}

}  // namespace

void EventTable::report(const platform::RunResult& result, const std::string& command,
                        const std::string& fileName, EventsOutcome& outcome) const {
  // The name came from another system: its control characters are not written out.
  const std::string head = "event command for " + maskControlCharacters(fileName);
  const std::string tail = ": " + maskControlCharacters(command);
  const std::string status = std::to_string(result.status);
  switch (result.outcome) {
    case platform::RunOutcome::notStarted:
      outcome.troubled = true;
      tell(reports.warning,
           "Warning: " + head + " could not be started (" + result.why.text() + ")" + tail);
      break;
    case platform::RunOutcome::cannotRun:
      outcome.troubled = true;
      tell(reports.warning,
           "Warning: " + head +
               " could not be started (the command interpreter ended with status " + status +
               ": not found or not executable)" + tail);
      break;
    case platform::RunOutcome::killed:
      outcome.troubled = true;
      tell(reports.warning,
           "Warning: " + head + " stopped after " + limitInWords(processTimeMs) + tail);
      break;
    case platform::RunOutcome::signalled:
      outcome.interrupted = true;
      tell(reports.note, "The " + head + " was ended by signal " + status + tail);
      break;
    case platform::RunOutcome::finished:
      // A command may use its status for its own ends: it is noted, and changes nothing.
      tell(reports.note, "The " + head + " ended with status " + status + tail);
      break;
  }
}
