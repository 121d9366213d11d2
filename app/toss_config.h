#pragma once

#include <cstdint>
#include <string>

// The settings of one run as quenfar.cfg gives them, read once: a plain value. Each service of
// the run is made with the few of them it needs.
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
  std::string eventsFile;  // joined to the program's directory when it holds no separator
  std::string flagsDir;    // ends with a separator when not empty
  std::string netmailDir;  // ends with a separator when not empty
  std::string ftnAddress;
  std::string userName;
  std::int32_t processTimeMs = 0;  // how long an event command may run
  // The checks of what arrives. With their keys absent a run tosses as it always did.
  std::string linksFile;  // the node's links and passwords; joined to the program's directory
                          // when it holds no separator
  std::string akas;       // the node's other addresses, blank-separated
  bool verifyFiles = false;
  std::string badTicDir;  // ends with a separator when not empty
  bool autoCreate = true;
  bool replaces = false;
  bool longDesc = false;
};
