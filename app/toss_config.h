#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

class RunLog;
class AreaPathMap;
class EventTable;
class Announcer;

// The configuration of one run, read once from quenfar.cfg. Every object of the run holds a
// pointer to it and reaches the log, the area map, the events and the announcer through it.
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
  RunLog* log = nullptr;
  AreaPathMap* areaPaths = nullptr;
  EventTable* events = nullptr;
  Announcer* announcer = nullptr;
  std::string eventsFile;  // joined to the program's directory when it holds no separator
  std::string flagsDir;    // ends with a separator when not empty
  std::string netmailDir;  // ends with a separator when not empty
  std::string ftnAddress;
  std::string userName;
  std::int32_t processTime = 0;  // milliseconds
};
