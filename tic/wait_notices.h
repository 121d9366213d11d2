#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Remembers across runs on which day each .tic that waits for its file was last reported on
// standard error, so that a .tic waiting for days is reported there once a day rather than at
// every run (cron starts a run every few minutes). The notes live in one small file of the
// inbound directory, read only when a .tic has waited for longer than a day, and written whole
// when they changed.
class WaitNotices {
 public:
  // Reports older than this are due; younger waits are the normal case.
  static constexpr std::int64_t kDay = 24 * 60 * 60;

  // The notes file, named with the program's own prefix so that no .tic can name it.
  static constexpr const char* kFileName = ".quenfar-waiting";

  explicit WaitNotices(std::string inboundDir) : path(std::move(inboundDir) + kFileName) {}

  // True when the .tic `ticName`, last changed at `modifiedTime`, has waited longer than a day
  // at `now` and was not reported yet on today's date; notes it as reported.
  bool due(const std::string& ticName, std::int64_t modifiedTime, std::int64_t now);

  // Writes the notes back when they changed: only those of this run's waiting .tic files, so
  // that the notes of .tic files since tossed are dropped.
  void save();

 private:
  void load();

  std::string path;
  std::optional<std::map<std::string, std::int64_t>> earlier;  // .tic name to day reported
  std::map<std::string, std::int64_t> noted;                   // this run's waiting ones
  bool changed = false;
};
