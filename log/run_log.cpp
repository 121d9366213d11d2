#include "log/run_log.h"

#include <iostream>

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

bool RunLog::open() {
  if (!enabled) {
    return true;
  }
  const bool existed = platform::exists(logFile);
  file = platform::File::open(logFile, platform::OpenMode::writeKeep);
  const std::optional<std::uint64_t> size = file.size();
  if (!file.isOpen() || !size || !file.seekToEnd()) {
    file.close();
    enabled = false;
    return false;
  }
  length = *size;
  if (!existed) {
    append(loadMessage(msg::kLogTitle) + "\r\n" + systemLine(osVersion) + "\r\n\r\n");
  }
  writeBanner(msg::kStartBanner);
  return true;
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
  if (onScreen) {
    std::cout << line << '\n' << std::flush;
  }
  if (!enabled) {
    return;
  }
  if (descInLog) {
    const std::size_t limit = cutSymbols == 0 ? description.size() : cutSymbols;
    line += " (" + description.substr(0, limit) + ")";
  }
  append(line + "\r\n");
}

void RunLog::close() {
  if (!enabled) {
    return;
  }
  writeBanner(msg::kEndBanner);
  append("\r\n\r\n");
  file.close();
}

void RunLog::writeBanner(int message) {
  append(platform::formatLocalTime(loadMessage(message).c_str(), platform::now()) + "\r\n");
}

void RunLog::append(std::string_view bytes) {
  if (!enabled || !file.isOpen()) {
    return;
  }
  if (file.write(bytes)) {
    length += bytes.size();
    return;
  }
  // A full disk or an I/O error: drop the bytes of this one write so the log ends on a whole
  // line, and log nothing more this run.
  file.truncateTo(length);
  file.close();
  enabled = false;
}
