#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/toss_config.h"

// Exit statuses of the program.
inline constexpr int kExitDone = 0;           // the run completed, whatever it found
inline constexpr int kExitConfiguration = 1;  // the run stopped at the configuration checks
inline constexpr int kExitUsage = 2;          // an unknown option; nothing was done
// The run completed, but a toss, a flush or the message failed, or an event command could not
// be started or was stopped at its time limit.
inline constexpr int kExitTroubled = 3;

// Runs the program for its command-line arguments (without the program name): --help and
// --version print and return; --check reads the configuration and reports it, touching
// nothing; any other argument is a usage error. No argument performs one tossing run: reads
// the configuration, refuses to run without the required settings, tosses every .tic of the
// inbound directory, reports and logs. Returns the exit status.
int runProgram(const std::vector<std::string>& arguments);
