#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "announce/announcer.h"
#include "desc/desc_file_updater.h"
#include "events/event_table.h"
#include "log/run_log.h"
#include "tic/area_path_map.h"
#include "tic/inbound_index.h"
#include "tic/movers.h"
#include "tic/tic_file.h"
#include "tic/toss_journal.h"
#include "util/toss_config.h"

// The services of a run that a toss works with.
struct TossServices {
  RunLog& log;
  const AreaPathMap& areaPaths;
  DescFileUpdater& lists;
  EventTable& events;
  Announcer& announcer;
  TossJournal& journal;
};

// What became of one .tic.
enum class TossResult {
  tossed,      // its file is in its area with its entry, and the .tic is disposed of
  failed,      // its file could not be placed (logged), or the toss stopped after the move
  passedOver,  // it was gone, held by another run, or no regular file: nothing was done
};

// Tosses the .tic files of a run, one at a time.
class TicProcessor {
 public:
  TicProcessor(const TossConfig& settings, TossServices services, MoveFile move);

  // Reads the .tic at `ticPath`, holding it while it is tossed, and tosses the file it names:
  // into its area, its entry into the area's list, the log line, the events, the announcement,
  // and at last the .tic deleted or moved to TICDir.
  TossResult processTic(const std::string& ticPath);

  // What this processor has written to: every area directory and its description list, the
  // inbound and TICDir.
  std::vector<std::string> writtenPaths() const;

  // True once a file has been placed in this run.
  bool placedAny() const { return movedAny; }

 private:
  TossResult tossFile(TicFile& tic, const std::string& area, const std::string& fileName,
                      const std::string& description, const std::string& areaDir);
  // Places a file whose name did not move: the one inbound entry of another letter case, or a
  // file that a run which died had already moved. False when neither applies.
  bool moveAnotherWay(const TicFile& tic, const std::string& fileName,
                      const std::string& destination, std::optional<std::uint64_t>& size);
  // Moves a file with the run's mover; `size` gets its size.
  bool moveFrom(const std::string& source, const std::string& destination,
                std::optional<std::uint64_t>& size);
  bool disposeTic(TicFile& tic);
  void logFailure(const std::string& fileName);
  bool isReservedName(const std::string& fileName) const;

  const TossConfig& settings;
  TossServices services;
  MoveFile move;
  std::string inboundDir;
  std::string fileechoDir;
  std::unordered_set<std::string> areaDirectories;  // made, or found to exist, in this run
  InboundIndex inboundNames;                        // read on the first name not found exactly
  bool movedAny = false;
};

// True when a FILE value names a plain entry of the inbound directory: not empty, not "." or
// "..", and free of separators ("/" and "\") and control characters. On Windows it must not
// end in a space or a dot either, which the system would drop silently.
bool isPlainFileName(const std::string& name);

// True when an area tag can be joined to the Fileecho directory without leaving it: empty, or
// not "." or ".." and free of separators and control characters (and, on Windows, not ending
// in a space or a dot).
bool isSafeAreaTag(const std::string& tag);
