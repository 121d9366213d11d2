#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "announce/announcer.h"
#include "desc/desc_file_updater.h"
#include "events/event_table.h"
#include "log/run_log.h"
#include "platform/durability.h"
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
  bool linksNamed = false;     // a links list is named: From, Pw and To are checked
  platform::Status linksRead;  // why the named list cannot be read; success when read
  LinkList links;
  std::vector<NodeAddress> ownAddresses;  // FTNAddress and the Akas: what To may name
  bool verifyFiles = false;               // a file must fit the .tic's Size and Crc
  std::string badTicDir;   // where refused .tic files go (ends with a separator); empty: they
                           // stay in the inbound
  bool autoCreate = true;  // an area that is nowhere yet is made
  bool replaces = false;   // the .tic's Replaces values remove older files
  bool longDesc = false;   // LDesc lines follow the entry as continuation lines
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
  queued,      // read, checked and noted: its file is moved with the rest of its batch
  tossed,      // its file is in its area with its entry, and the .tic is disposed of (or
               // noted for the next run to dispose of)
  waiting,     // its file has not arrived yet (logged); the .tic stays
  failed,      // its file could not be placed, or the toss stopped after the move (logged,
               // with the cause); the .tic stays
  duplicate,   // a second .tic for a file tossed in this run: disposed of, logged
  passedOver,  // it was gone, held by another run, or no regular file: nothing was done
};

// Tosses the .tic files of a run in batches, each toss up the same ladder:
//
//   read and check the .tic, note the toss with its evidence          (queue)
//   -- the batch's records put on the disk --
//   move the file, note it; its entry in the area's list                (tossBatch)
//   -- the batch's files, lists and directories put on the disk --
//   dispose of the .tic, the log line, the events (noted), the announcement entry
//
// so that a run that dies anywhere, by a kill or a power cut, leaves every moved file with
// its record, and every .tic that is gone with its file and entry on the disk: the next run
// finishes the rest from the journal.
class TicProcessor {
 public:
  TicProcessor(TossSettings settings, TossServices services, MoveFile move);
  ~TicProcessor();

  // Reads the .tic at `ticPath`, holding it until its toss is over, checks it and notes its
  // toss; `queued` when it joins the batch, else what became of it.
  TossResult queue(const std::string& ticPath);

  // True when the batch should be tossed before another .tic is queued: at 2048 .tic files
  // (fewer where the process may hold fewer files open) or 4 MiB of them, so that a large run
  // flushes seldom while memory stays flat.
  bool batchFull() const;

  // Tosses the batch up the rest of the ladder: its files moved and listed, and flushed in the
  // background while the next batch is read; the batch before it, flushed by now, completed.
  // What became of each .tic whose toss ended.
  std::vector<TossResult> tossBatch();

  // Tosses the batch in hand (in two halves, each flushed, the first completed while the second
  // is flushing), after completing the batch still flushing; what became of their .tic files.
  std::vector<TossResult> finishTossing();

  // Runs the events of a tossed file, and notes that they ran (or that a stop may have cut them
  // short, so that the next run runs them again).
  void runEvents(const std::string& area, const std::string& fileName, const JournalEntry& facts);

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
  // One toss of the batch: the .tic, held; what it says; and the facts of the toss, built once
  // for the journal, the list, the log and the announcement.
  struct Toss {
    TicFile tic;
    std::string ticName;
    std::string area;
    std::string fileName;
    std::string description;
    std::string areaDir;
    std::string destination;
    std::string source;    // the file in the inbound, as found
    JournalEntry facts;    // area, origin and description as shown, with the evidence
    bool inPlace = false;  // already at its destination before this batch moved anything
    std::optional<std::uint64_t> size;  // of the file, once this run moved it
    TossResult result = TossResult::queued;
  };

  // Why a toss cannot even be tried (success when it can), and whether the .tic is refused for
  // good: such a one goes to BadTicDir, when that is set; the others stay.
  struct Refusal {
    platform::Status reason;
    bool forGood = false;
  };
  // Why the toss cannot be tried: its name or tag refused, its sender or address not this
  // node's links and addresses, its area unknown with AutoCreate off, its area directory not to
  // be made. Fills in the area directory and destination when it can be.
  Refusal refusal(Toss& toss);
  // Why the .tic's From, Pw or To are refused by the links list; success when they pass.
  platform::Status checkLink(const TicFile& tic) const;
  // Where the file goes; an area directory that cannot be made fails with the cause.
  platform::Status locate(Toss& toss);
  // The directory of a tag that the area list does not name: Fileecho/TAG, or a directory
  // there whose name equals the tag ignoring letter case.
  const std::string& folderOf(const std::string& tag);
  // Moves a .tic refused for good, and its file when no other .tic waits for it, to
  // BadTicDir; or leaves them where they are and logs why, as every failed toss.
  TossResult refuse(Toss& toss, const Refusal& refused);
  // True when another .tic of the inbound names `fileName`, or may (one that another run
  // holds).
  bool namedByOtherTic(const std::string& ticName, const std::string& fileName);
  // Removes the older files of the area that the .tic's Replaces values name, their entries
  // first; fails with the cause, having removed nothing whose entry is still listed.
  platform::Status replaceOlder(const Toss& toss);
  // The further lines of the description, cleaned: LDesc lines, else the second and later
  // Desc lines; empty unless LongDesc is on.
  std::vector<std::string> longDescription(const TicFile& tic) const;
  // Finds the file in the inbound (under its name or the one entry of another letter case) and
  // takes its evidence; a file not there may be in place already, from a toss that a dead run
  // recorded or that the .tic's Size and Crc recognise. `queued`, or why the toss waits.
  TossResult findSource(Toss& toss);
  // Moves the file (noted) and puts its entry in the list; the result says how far it got.
  void place(Toss& toss);
  // Warns that the step `what` failed for `cause`, and leaves the toss, whose file is in place,
  // for the next run to finish.
  void leaveUnfinished(Toss& toss, const std::string& what, const platform::Status& cause);
  // Deletes the files of the entries that the list update dropped for another letter case.
  void dropOtherCases(const Toss& toss);
  // Whether a file that could not be moved is at its destination all the same: the one this
  // toss noted, moved by another .tic of this run (a duplicate).
  TossResult placedAfterAll(Toss& toss, const platform::Status& moved);
  // The rest of a toss once its file and entry are on the disk: the .tic disposed of, the log
  // line, the events, the announcement entry.
  void complete(Toss& toss);
  // Puts the batch's records on the disk; on failure none of its tosses goes on.
  void syncNoted();
  // Places the queued tosses batch[from, to).
  void placeEach(std::size_t from, std::size_t to, std::vector<TossResult>& results);
  // Starts the flush of what batch[from, to) wrote to, when it tossed anything.
  void startFlush(std::size_t from, std::size_t to);
  // Waits for the flush started last; false (and warned) when it failed.
  bool takeFlush();
  // Completes tosses[from, to), whose flush ended as `flushed` says.
  void completeEach(std::vector<Toss>& tosses, std::size_t from, std::size_t to, bool flushed,
                    std::vector<TossResult>& results);
  // Deletes the .tic or moves it to TICDir; a failure is a warning, and the journal keeps the
  // .tic for the next run to dispose of, without tossing its file again.
  void disposeTic(Toss& toss);
  TossResult fail(const Toss& toss, const std::string& cause);
  // `difference` says how the file there differs from what the .tic says; empty for a file
  // that has not arrived.
  TossResult wait(const Toss& toss, const std::string& difference = {});
  // Refuses a FILE value that names a file the program keeps in an area or the inbound.
  platform::Status checkNotReserved(const std::string& fileName) const;

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
  // Upper-cased FILE value -> the .tic files that name it, read at the first refusal to
  // BadTicDir; and whether a .tic was held by another run then.
  std::optional<std::unordered_map<std::string, std::vector<std::string>>> ticsByFile;
  bool heldElsewhere = false;
  WaitNotices waitNotices;
  std::vector<Toss> batch;   // read, checked and noted
  std::vector<Toss> placed;  // moved and listed, flushing
  platform::BackgroundFlush flushing;
  std::size_t batchLimit;      // .tic files, held open until their toss is over
  std::size_t batchBytes = 0;  // of the .tic files read into the batch
  static constexpr std::size_t kLargestBatch = 2048;
  static constexpr std::size_t kBatchBytes = 4U << 20;
  static constexpr std::size_t kSplitBatch = 128;  // a last batch this large is split in two
  bool movedAny = false;
};
