#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/config_reader.h"
#include "app/toss_config.h"
#include "platform/status.h"

// Checks of the settings that a run and `quenfar --check` share. None of them touches
// anything.

// Fails with the message of the first configuration check that stops a run (no Inbound, no
// Fileecho, NetmailDir without FTNAddress); succeeds when the settings can be used.
platform::Status configurationStop(const TossConfig& settings);

// Returns the line that reports a stop on standard error and in the log:
// "Error: <message> (<configuration file>)".
std::string stopLine(const platform::Status& stop, const std::string& configPath);

// Adds a warning for each problem of the surroundings of settings that passed the checks: a
// missing inbound or netmail directory, an FTN address that does not read, a user that is not
// the owner of the inbound directory.
void checkSurroundings(const TossConfig& settings, std::vector<std::string>& warnings);

// Writes the report of `quenfar --check` to `out`: the configuration file, every setting in
// effect and whether it came from the file or is the default, the lists with their entry
// counts, whether this user can write each directory that the run writes, and every warning
// (the stop included). Returns 0 when there is nothing to warn about, 1 otherwise.
int reportConfiguration(const ConfigReading& reading, std::ostream& out);
