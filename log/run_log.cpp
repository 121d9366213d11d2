#include "log/run_log.h"

#include <iostream>

#include "platform/file_system.h"

#include "res/messages.h"

std::string RunLog::systemLine(const platform::SystemName& system) {
  std::string line =
      loadMessage(system.windows ? msg::kRunningUnderWindows : msg::kRunningUnder) + system.name;
  if (!system.build.empty()) {
    line += " " + loadMessage(msg::kBuild) + " " + system.build;
  }
  return line;
}

void writeToStandardError(std::string_view text) {
  std::cerr << text << std::flush;
}

void printMessage(int number) {
  std::cout << platform::toConsoleCharset(loadMessage(number)) << '\n' << std::flush;
}

platform::Status RunLog::open() {
  if (!enabled) {
    return {};
  }
  const bool existed = platform::exists(settings.logFile);
  file = platform::File::open(settings.logFile, platform::OpenMode::writeKeep);
  platform::Status opened = file.why();
  const platform::Result<std::uint64_t> size = file.size();
  if (opened && !size) {
    opened = size.status();
  }
  if (opened) {
    opened = file.seekToEnd();
  }
  if (!opened) {
    file.close().ignore();
    enabled = false;
    return opened;
  }
  length = *size;
  if (!existed) {
    append(loadMessage(msg::kLogTitle) + "\r\n" + systemLine(platform::systemName()) + "\r\n\r\n");
  }
  writeBanner(msg::kStartBanner);
  for (const std::string& line : held) {
    writeLine(line);
  }
  held.clear();
  return failure;
}

void RunLog::writeLine(const std::string& text) {
  if (enabled) {
    append(text + "\r\n");
  }
}

void RunLog::writeWarning(const std::string& text) {
  writeToStandardError(text + '\n');
  if (enabled && !file.isOpen()) {
    held.push_back(text);
  }
  writeLine(text);
}

void RunLog::writeMove(const std::string& fileName, const std::string& areaTag,
                       const std::string& description) {
  std::string line = fileName + " ---> " + areaTag;
  if (settings.onScreen) {
    std::cout << line << '\n' << std::flush;
  }
  if (!enabled) {
    return;
  }
  if (settings.descInLog) {
    const std::size_t limit = settings.cutSymbols == 0 ? description.size() : settings.cutSymbols;
    line += " (" + description.substr(0, limit) + ")";
  }
  append(line + "\r\n");
}

platform::Status RunLog::sync() {
  return enabled && file.isOpen() ? file.sync() : platform::Status();
}

void RunLog::close() {
  if (!enabled) {
    return;
  }
  writeBanner(msg::kEndBanner);
  append("\r\n\r\n");
  file.close().ignore();  // the bytes are written; a late error has nowhere left to go
}

void RunLog::writeBanner(int message) {
  append(platform::formatLocalTime(loadMessage(message).c_str(), platform::now()) + "\r\n");
}

void RunLog::append(std::string_view bytes) {
  if (!enabled || !file.isOpen()) {
    return;
  }
  const platform::Status written = file.write(bytes);
  if (written) {
    length += bytes.size();
    return;
  }
  failure = written;
  // A full disk or an I/O error: drop the bytes of this one write so the log ends on a whole
  // line, and log nothing more this run.
  file.truncateTo(length).ignore();
  file.close().ignore();
  enabled = false;
}
