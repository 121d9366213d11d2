#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/toss_config.h"

// False exactly when the text, upper-cased, is "NO"; true for anything else, "" included.
bool parseYesNo(std::string_view text);

// Returns the directory of the running program file, without a trailing separator.
std::string programDirectory();

// What kind of value a key takes; the warnings about its value follow from it.
enum class KeyKind {
  path,       // a directory or file, used as written (or as the key's rule says)
  list,       // a list of [INCLUDE]: a name without a separator lies beside the program
  yesNo,      // only NO, in any letter case, turns it off
  number,     // a whole number from `minimum` to `maximum`
  address,    // an FTN address, zone:net/node[.point]
  addresses,  // FTN addresses, blank-separated
  text,       // any text
};

// One key of quenfar.cfg. The reader, --check and the manual page's list go by one table of
// them, so that a key is spelt in one place.
struct ConfigKey {
  const char* section;  // "QUENFAR" or "INCLUDE"
  const char* name;     // as the program spells it
  KeyKind kind;
  const char* fallback;  // the default, as it would be written
  std::int32_t minimum;  // numbers: the least value taken as written
  std::int32_t maximum;  // numbers: the greatest
  // Puts the value (the default for a missing key, or for an empty number) into the settings.
  void (*take)(TossConfig& settings, const std::string& value, const std::string& programDir);
  // The value as the run uses it.
  std::string (*inEffect)(const TossConfig& settings);
};

// Every key the program reads, [QUENFAR] first, in the order of the reference.
std::span<const ConfigKey> configKeys();

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
  // unknown section or key, a value that holds an inline comment or that reads as something
  // else than it says (a yes/no neither YES nor NO, a number that is none or out of range, an
  // address with a part out of range), a list of [INCLUDE] that cannot be read, a line of the
  // links list that cannot be read.
  std::vector<std::string> warnings;
};

// Reads `programDir`/quenfar.cfg; a missing file or key gives the defaults. Touches nothing.
ConfigReading readConfiguration(const std::string& programDir);
