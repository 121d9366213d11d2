#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/toss_config.h"

// Exit statuses of the program.
inline constexpr int kExitDone = 0;           // the run completed, whatever it found
inline constexpr int kExitConfiguration = 1;  // the run stopped at the configuration checks
inline constexpr int kExitUsage = 2;          // an unknown option; nothing was done

// Runs the program for its command-line arguments (without the program name): --help and
// --version print and return; no argument performs one tossing run: reads the configuration,
// refuses to run without the required settings, tosses every .tic of the inbound directory,
// reports and logs. Returns the exit status.
int runProgram(const std::vector<std::string>& arguments);

// Writes numbered message `number` to standard output with a line end, and flushes.
void printMessage(int number);

// The part of a run after the configuration checks: makes the run's services, finishes what
// runs that died left behind, tosses every .tic of the inbound directory, stores the
// announcement, puts what was written on the disk and closes the log. `warnings` go into the
// log once it is open. Returns the number of files tossed.
std::int32_t tossInbound(const TossConfig& settings, const std::vector<std::string>& warnings);
