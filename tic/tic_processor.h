#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "announce/announcer.h"
#include "desc/desc_file_updater.h"
#include "events/event_table.h"
#include "log/run_log.h"
#include "platform/status.h"
#include "tic/area_path_map.h"
#include "tic/inbound_index.h"
#include "tic/link_list.h"
#include "tic/movers.h"
#include "tic/tic_file.h"
#include "tic/toss_journal.h"
#include "tic/wait_notices.h"

// The checks of what arrives, each off unless the settings turn it on.
struct ArrivalChecks {
  bool linksNamed = false;      // a links list is named: From, Pw and To are checked
  std::string linksUnreadable;  // why the named list cannot be read; empty when it was read
  LinkList links;
  std::vector<NodeAddress> ownAddresses;  // FTNAddress and the Akas: what To may name
  bool verifyFiles = false;               // a file must fit the .tic's Size and Crc
  std::string badTicDir;                  // where refused .tic files go (ends with a separator);
                                          // empty: they stay in the inbound
  bool autoCreate = true;                 // an area that is nowhere yet is made
  bool replaces = false;                  // the .tic's Replaces values remove older files
  bool longDesc = false;                  // LDesc lines follow the entry as continuation lines
};

// What tossing takes from the settings.
struct TossSettings {
  std::string inboundDir;   // where the .tic files and their files arrive
  std::string fileechoDir;  // the parent of the areas that the area list does not name
  std::string descFile;     // the name of each area's description list
  std::string ticDir;       // where tossed .tic files are kept (ends with a separator); empty
                            // to delete them
  ArrivalChecks checks;
};

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
  tossed,      // its file is in its area with its entry, and the .tic is disposed of (or
               // noted for the next run to dispose of)
  waiting,     // its file has not arrived yet (logged); the .tic stays
  failed,      // its file could not be placed, or the toss stopped after the move (logged,
               // with the cause); the .tic stays
  duplicate,   // a second .tic for a file tossed in this run: disposed of, logged
  passedOver,  // it was gone, held by another run, or no regular file: nothing was done
};

// Tosses the .tic files of a run, one at a time: the file into its area, its entry into the
// area's list, the .tic deleted or moved to TICDir, the log line, the events, the
// announcement. The entry is in the list before the .tic goes, so that a toss cut short
// anywhere before is finished by the next run; what comes after the .tic is gone, the journal
// holds for the next run to announce.
class TicProcessor {
 public:
  TicProcessor(TossSettings settings, TossServices services, MoveFile move);

  // Reads the .tic at `ticPath`, holding it while it is tossed, and tosses the file it names.
  TossResult processTic(const std::string& ticPath);

  // Disposes of a .tic whose file a run that died had tossed (and announced, or left for this
  // run's message to announce): nothing else is done again.
  void disposeLeftover(const std::string& ticPath);

  // What this processor has written to: every area directory and its description list, the
  // inbound and TICDir.
  std::vector<std::string> writtenPaths() const;

  // True once a file has been placed in this run.
  bool placedAny() const { return movedAny; }

  // Keeps the notes of which waiting .tic files were reported today, once the run has seen
  // them all.
  void saveWaitNotices() { waitNotices.save(); }

 private:
  // The values of one .tic that its toss works with.
  struct Toss {
    std::string ticName;
    std::string area;
    std::string fileName;
    std::string description;
    std::string areaDir;
    std::string destination;
  };

  // Why a toss cannot even be tried, in words (empty when it can), and whether the .tic is
  // refused for good: such a one goes to BadTicDir, when that is set; the others stay.
  struct Refusal {
    std::string reason;
    bool forGood = false;
  };
  // Why the toss cannot be tried: its name or tag refused, its sender or address not this
  // node's links and addresses, its area unknown with AutoCreate off, its area directory not to
  // be made. Fills in the area directory and destination when it can be.
  Refusal refusal(const TicFile& tic, Toss& toss);
  // Why the .tic's From, Pw or To are refused by the links list; empty when they pass.
  std::string linkRefusal(const TicFile& tic) const;
  // Where the file goes; an area directory that cannot be made fails with the cause.
  platform::Status locate(Toss& toss);
  // The directory of a tag that the area list does not name: Fileecho/TAG, or a directory
  // there whose name equals the tag ignoring letter case.
  const std::string& folderOf(const std::string& tag);
  // Moves a .tic refused for good, and its file when no other .tic waits for it, to
  // BadTicDir; or leaves them where they are and logs why, as every failed toss.
  TossResult refuse(TicFile& tic, const Toss& toss, const Refusal& refused);
  // True when another .tic of the inbound names `fileName`, or may (one that cannot be read).
  bool namedByOtherTic(const std::string& ticName, const std::string& fileName) const;
  // Removes the older files of the area that the .tic's Replaces values name, their entries
  // first; fails with the cause, having removed nothing whose entry is still listed.
  platform::Status replaceOlder(const TicFile& tic, const Toss& toss);
  // The further lines of the description, cleaned: LDesc lines, else the second and later
  // Desc lines; empty unless LongDesc is on.
  std::vector<std::string> longDescription(const TicFile& tic) const;
  // Puts the file at its destination: moved from the inbound (under its name or the one entry
  // of another letter case), or already there from a toss that a dead run recorded or that
  // the .tic's Size and Crc recognise. `size` gets its size when it was moved.
  TossResult place(const TicFile& tic, const Toss& toss, std::optional<std::uint64_t>& size);
  // Whether a file that could not be moved from `source` is in place all the same; otherwise
  // why not (logged), or that it waits.
  TossResult placedBefore(const TicFile& tic, const Toss& toss, const std::string& source,
                          const platform::Status& moved);
  // The rest of a toss once its file is placed.
  TossResult finishToss(TicFile& tic, const Toss& toss, std::optional<std::uint64_t> size);
  // Deletes the .tic or moves it to TICDir; a failure is a warning, and the journal keeps the
  // .tic for the next run to dispose of, without tossing its file again.
  void disposeTic(TicFile& tic, const Toss& toss);
  TossResult fail(const Toss& toss, const std::string& cause);
  // `difference` says how the file there differs from what the .tic says; empty for a file
  // that has not arrived.
  TossResult wait(const TicFile& tic, const Toss& toss, const std::string& difference = {});
  std::string reservedNameReason(const std::string& fileName) const;

  TossSettings settings;
  TossServices services;
  MoveFile move;
  std::map<std::string, platform::Status> areaDirectories;  // made or found, or why not
  // The destinations tossed in this run, kept as 64-bit hashes so that a run of many thousands
  // keeps them in little memory. Two destinations of one run that share a hash would make a
  // second .tic of the later one count as a dupe: a chance too small to weigh.
  std::unordered_set<std::size_t> tossedHere;
  InboundIndex inboundNames;                             // read on the first name not found exactly
  InboundIndex fileechoNames;                            // the same for the Fileecho directory
  std::unordered_map<std::string, std::string> folders;  // tag -> its directory
  std::unordered_map<std::string, std::string> foldersMade;  // upper-cased tag -> directory
  std::optional<platform::Status> badTicDirMade;
  WaitNotices waitNotices;
  bool movedAny = false;
};

// True when a FILE value names a plain entry of the inbound directory: not empty, not "." or
// "..", and free of separators ("/" and "\") and control characters (and, on Windows, of
// drive and stream colons and a trailing space or dot).
bool isPlainFileName(const std::string& name);

// True when an area tag can be joined to the Fileecho directory without leaving it: empty, or
// a plain name as above.
bool isSafeAreaTag(const std::string& tag);
