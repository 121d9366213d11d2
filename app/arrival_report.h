#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/toss_config.h"

// Writes the section of `quenfar --check` on the checks of arriving .tic files: each of their
// keys with what it does as set, and the links list with its count. Adds a warning for
// VerifyFiles on without BadTicDir. (A links list that cannot be read, and its lines that
// cannot be, are warned about when the configuration is read.)
void reportArrivalChecks(const TossConfig& settings, std::ostream& out,
                         std::vector<std::string>& warnings);
