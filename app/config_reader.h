#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/toss_config.h"

// False exactly when the text, upper-cased, is "NO"; true for anything else, "" included.
bool parseYesNo(std::string_view text);

// Returns the directory of the running program file, without a trailing separator.
std::string programDirectory();

// Reads `programDir`/quenfar.cfg; a missing file or key gives the defaults. What a sysop
// should hear about (a missing or unreadable file, a key the program does not know) is added
// to `warnings`, one line each, when it is given.
TossConfig readConfigFrom(const std::string& programDir,
                          std::vector<std::string>* warnings = nullptr);
