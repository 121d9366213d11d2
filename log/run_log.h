#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/status.h"
#include "platform/system.h"

// What the log takes from the settings.
struct LogSettings {
  std::string logFile;  // no log when empty
  bool onScreen = false;
  bool descInLog = false;
  std::uint16_t cutSymbols = 0;
};

// The run log: appends one block per run (header when new, start banner, one line per file,
// end banner, two empty lines) and echoes move lines on the console. The file is held
// exclusively from open to close, so a second simultaneous run writes no log.
class RunLog {
 public:
  // Logging is on when a log file is named; nothing is opened yet.
  explicit RunLog(LogSettings logSettings)
      : settings(std::move(logSettings)), enabled(!settings.logFile.empty()) {}

  // Opens or creates the log and writes the header (only for a new file, with the system
  // line of the running system), the start banner and the warnings given before. When the file
  // cannot be opened or those lines cannot be written, logging stays off for the rest of the run
  // and the result tells why; with no log file named it succeeds.
  platform::Status open();

  // Appends the text and CR LF when logging is on.
  void writeLine(const std::string& text);

  // Writes a line for the sysop ("Warning: ...") to standard error, and to the log when
  // logging is on; before the log is open it goes in once open() has written the banner.
  void writeWarning(const std::string& text);

  // Writes a tossed file's line: name, " ---> ", area tag and, with DescInLog, the description
  // in parentheses (cut to CutSymbols characters when that is set). With OnScreen the line,
  // without the description, also goes to the console, log or no log.
  void writeMove(const std::string& fileName, const std::string& areaTag,
                 const std::string& description);

  // Puts what was written to the log on the disk, through the log's own hold (a system that
  // flushes file by file could not open the held log for that). Nothing to do without a log.
  platform::Status sync();

  // Writes the end banner and two empty lines and closes the file, when logging is on.
  void close();

  // Returns the header's system line for the words that name a system.
  static std::string systemLine(const platform::SystemName& system);

 private:
  // Appends bytes; a failed write removes its partial bytes and turns logging off.
  void append(std::string_view bytes);
  void writeBanner(int message);

  LogSettings settings;
  platform::File file;
  std::uint64_t length = 0;       // of the log file as this run has written it
  platform::Status failure;       // of the write that turned logging off
  std::vector<std::string> held;  // warnings given before the log was open
  bool enabled;
};

// Writes text to standard error as it is, and flushes: the one way there, for the run's
// warnings (through RunLog::writeWarning) and a wrong command line.
void writeToStandardError(std::string_view text);

// Writes numbered message `number` to standard output, in the console's character set, with a
// line end, and flushes.
void printMessage(int number);
