#pragma once

#include <string>
#include <string_view>

struct TossConfig;

// False exactly when the text, upper-cased, is "NO"; true for anything else, "" included.
bool parseYesNo(std::string_view text);

// Returns the directory of the running program file, without a trailing separator.
std::string programDirectory();

// Fills a TossConfig from quenfar.cfg in the program's directory.
class ConfigReader {
 public:
  virtual ~ConfigReader() = default;

  void setConfig(TossConfig* target) { config = target; }

  // Reads quenfar.cfg beside the program; a missing file or key gives the defaults.
  void read();

  // Reads `programDir`/quenfar.cfg, as read() does for the program's own directory.
  void readFrom(const std::string& programDir);

 private:
  TossConfig* config = nullptr;
};
