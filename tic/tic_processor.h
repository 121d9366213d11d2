#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tic/inbound_index.h"

class RunLog;
class AreaPathMap;
class EventTable;
struct TossConfig;

// The current .tic: where it is, what it holds, and the three values the toss uses.
struct TicRecord {
  std::string ticPath;
  std::uint32_t contentLength = 0;
  std::string area;
  std::string fileName;
  std::string description;
  std::string contents;  // the whole .tic as read, contentLength bytes
};

// Reads, parses and tosses the .tic files of a run. The variants differ only in how a file is
// moved (moveFile); this base class moves nothing.
class TicProcessor {
 public:
  // A .tic is read up to this size; a larger one is cut there (every key that a real .tic
  // carries lies far below it).
  static constexpr std::uint32_t kMaxTicSize = 1U << 20;

  virtual ~TicProcessor() = default;

  // Moves a file to the destination, replacing a file there. The base class moves nothing and
  // returns false.
  virtual bool moveFile(const std::string& source, const std::string& destination);

  // Takes the log, the area map, the events and the two directories from the configuration.
  void configure(const TossConfig* target);

  void setTicPath(const std::string& path) { tic.ticPath = path; }

  // Reads the whole .tic, holding it exclusively while reading. False, with an empty record,
  // when it cannot be opened or read.
  bool readTic();

  // Reads AREA, DESC and FILE and tosses the file the .tic names. True when it was moved.
  bool processTic();

  // Returns the value of the first line whose key (the text before its first space, any letter
  // case) is `key`, without leading spaces; the empty string when no line carries the key.
  std::string valueOf(const std::string& key) const;

  const TicRecord& record() const { return tic; }

 private:
  bool tossFile(const std::string& areaDir);
  bool disposeTic();
  void logFailure();

  RunLog* log = nullptr;
  AreaPathMap* areaPaths = nullptr;
  EventTable* events = nullptr;
  std::string inboundDir;
  std::string fileechoDir;
  const TossConfig* config = nullptr;
  TicRecord tic;
  std::unique_ptr<InboundIndex> inboundNames;  // read on the first name not found exactly
};

// True when a FILE value names a plain entry of the inbound directory: not empty, not "." or
// "..", and free of separators ("/" and "\") and control characters.
bool isPlainFileName(const std::string& name);

// True when an area tag can be joined to the Fileecho directory without leaving it: empty, or
// not "." or ".." and free of separators and control characters.
bool isSafeAreaTag(const std::string& tag);
