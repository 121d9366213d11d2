#include "log/run_log.h"

#include <iostream>

#include "platform/file_system.h"

#include "res/messages.h"

std::string RunLog::systemLine(const platform::OsVersionInfo& version) {
  std::string line = loadMessage(msg::kRunningUnderWindows);
  switch (version.dwPlatformId) {
    case platform::kPlatformWin9x:
      line += version.dwMinorVersion == 0 ? "95 " : "98 ";
      line += version.szCSDVersion;
      return line;
    case platform::kPlatformNt:
      line += "NT " + std::to_string(version.dwMajorVersion) + "." +
              std::to_string(version.dwMinorVersion) + " " + loadMessage(msg::kBuild) + " " +
              std::to_string(version.dwBuildNumber) + " " + version.szCSDVersion;
      return line;
    default:
      if (!version.systemName.empty()) {
        return loadMessage(msg::kRunningUnder) + version.systemName;
      }
      return line;
  }
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
    append(loadMessage(msg::kLogTitle) + "\r\n" + systemLine(platform::queryOsVersion()) +
           "\r\n\r\n");
  }
  writeBanner(msg::kStartBanner);
  return failure;
}

void RunLog::writeLine(const std::string& text) {
  if (enabled) {
    append(text + "\r\n");
  }
}

void RunLog::writeWarning(const std::string& text) {
  std::cerr << text << '\n' << std::flush;
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
