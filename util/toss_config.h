#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/system.h"

// How long a run waits for a file that another run holds: the configuration and the lists it
// reads, a description list it updates. Runs hold them only for moments.
inline constexpr std::chrono::milliseconds kHoldWait(5000);

// The settings of one run, read once from quenfar.cfg: a plain value. Each service of the run
// is made with the settings it needs.
struct TossConfig {
  std::string inboundDir;
  std::string fileechoDir;
  std::string descFile;
  std::string logFile;
  std::string ticDir;        // ends with a separator when not empty
  std::string areaPathFile;  // joined to the program's directory when it holds no separator
  bool onScreen = false;
  bool descFilter = false;
  bool descInLog = false;
  std::uint16_t cutSymbols = 0;
  platform::OsVersionInfo osVersion;
  std::string eventsFile;  // joined to the program's directory when it holds no separator
  std::string flagsDir;    // ends with a separator when not empty
  std::string netmailDir;  // ends with a separator when not empty
  std::string ftnAddress;
  std::string userName;
  std::int32_t processTimeMs = 0;  // how long an event command may run
};
