#pragma once

#include <string>

#include "tests/support/temp_dir.h"

namespace test {

// What one run of the real program left on the console.
struct RunResult {
  int exitCode = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

// A sample node for end-to-end tests: a temporary directory holding a copy of the built
// program in bin/, with its quenfar.cfg beside it, and whatever a test writes around it.
class Node {
 public:
  Node();

  // The absolute path of `relative` inside the node's directory.
  std::string path(const std::string& relative) const { return dir / relative; }
  const std::string& root() const { return dir.path(); }

  // Writes bin/quenfar.cfg.
  void writeConfig(const std::string& text) const;

  // Writes a config with Inbound = in, Fileecho = files and Logfile = quenfar.log (all absolute),
  // followed by `extraQuenfar` lines in [QUENFAR] and `include` lines in [INCLUDE].
  void writeStandardConfig(const std::string& extraQuenfar = "",
                           const std::string& include = "") const;

  void write(const std::string& relative, const std::string& contents) const;
  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;

  // Writes in/<ticName> with the given lines (each ended by CR LF) and in/<fileName> with
  // `data` (unless `data` is null).
  void addTic(const std::string& ticName, const std::string& lines) const;

  // Runs bin/quenfar with the node's directory (or `workDir` inside it) as current directory,
  // with `arguments` (shell words) on its command line.
  RunResult run(const std::string& workDir = "", const std::string& arguments = "") const;

  // Starts `count` runs of bin/quenfar at once in the node's directory and waits for them all.
  void runTogether(int count) const;

 private:
  TempDir dir;
};

// What every run prints first: the banner and the notice, then an empty line.
extern const std::string kHeading;

// How often `needle` occurs in `text`, not overlapping.
std::size_t countOf(const std::string& text, const std::string& needle);

// Every stored message in the node's directory `netmail`, one after another.
std::string allMessages(const Node& node);

// Removes the two time-dependent banner lines' times so that logs compare byte for byte:
// "=== Start  12:34:56  Monday, 07 December 2026" becomes "=== Start  <time>".
std::string maskLogTimes(const std::string& log);

// True when the process `pid` has ended, or ends within ten seconds (waited for through a
// pidfd, which becomes readable when the process exits).
bool processEndsSoon(const std::string& pid);

}  // namespace test
