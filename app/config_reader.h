#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/toss_config.h"

// False exactly when the text, upper-cased, is "NO"; true for anything else, "" included.
bool parseYesNo(std::string_view text);

// Returns the directory of the running program file, without a trailing separator.
std::string programDirectory();

// One setting as the run uses it, and where it came from.
struct SettingInEffect {
  std::string section;  // "QUENFAR" or "INCLUDE"
  std::string key;      // spelt as the program spells it
  std::string value;    // as the run uses it: defaults applied, normalised
  bool fromFile = false;
};

// What reading quenfar.cfg gave.
struct ConfigReading {
  std::string path;  // the file read, every link resolved: the file a sysop edits
  bool readable = false;
  TossConfig settings;
  std::vector<SettingInEffect> inEffect;  // every key, [QUENFAR] first, in reference order
  // What a sysop should hear about, one "Warning: " line each: a file that cannot be read, an
  // unknown section or key, a value that holds an inline comment, a list of [INCLUDE] that
  // cannot be read.
  std::vector<std::string> warnings;
};

// Reads `programDir`/quenfar.cfg; a missing file or key gives the defaults. Touches nothing.
ConfigReading readConfiguration(const std::string& programDir);

// Reads `programDir`/quenfar.cfg as readConfiguration does, and returns the settings; the
// warnings are added to `warnings` when it is given.
TossConfig readConfigFrom(const std::string& programDir,
                          std::vector<std::string>* warnings = nullptr);
