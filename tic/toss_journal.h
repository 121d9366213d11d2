#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/status.h"

// What the journal notes of one toss, before its file is moved.
struct JournalEntry {
  std::string ticName;
  std::string destination;  // the full path the file goes to
  std::string area;         // the area tag, as the announcement shows it
  std::string origin;       // the .tic's "Origin", as the announcement shows it
  std::string description;  // the cleaned description
};

// A run's journal: a hidden file in the inbound directory, held while the run lasts, with one
// record for each step of a toss that a run dying right after it (a reboot, kill -9) would
// otherwise lose: the toss noted before its file is moved, the move done, a .tic that could
// not be disposed of, and the message about to be named. The next run adopts every journal
// that no live run holds, and from it finishes the tosses that were cut short, announces the
// files that were tossed but never announced (and only those: a message that got its name
// counts as stored), disposes of the .tic files left behind, and clears away the dead run's
// temporary files. Nothing is flushed to the disk for it: it guards against a process that
// dies, not against power loss.
class TossJournal {
 public:
  // Journals, and the program's temporary files, carry names that start with this.
  static constexpr std::string_view kOwnPrefix = ".quenfar-";

  // Adopts every journal in `directory` that no live run holds, then starts this run's own and
  // carries over into it what the adopted ones still owe, so that from then on this run's
  // journal alone stands for both; the adopted ones are deleted, and then the temporary files
  // of the dead runs in `sweep` and in the directories their tosses wrote to. Without a usable
  // directory the run goes on without a journal.
  TossJournal(const std::string& directory, const std::vector<std::string>& sweep);
  ~TossJournal();
  TossJournal(const TossJournal&) = delete;
  TossJournal& operator=(const TossJournal&) = delete;

  // Notes a toss before its file is moved. A toss that cannot be noted (a full disk) must not
  // move its file: a run that died after the move would leave it with nobody to finish it.
  platform::Status noteToss(const JournalEntry& entry);

  // Notes that the toss just noted for `ticName` moved nothing and owes nothing (its file has
  // not arrived, or cannot be moved); what a dead run owes for it stays.
  void noteNotTossed(const std::string& ticName);

  // Notes that the file of `ticName` has been moved to the destination noted with its toss.
  void noteMoved(const std::string& ticName);

  // Notes that the toss of `ticName` stopped after its file was moved, before its list entry;
  // the next run finishes it.
  void noteUnfinished(const std::string& ticName, const std::string& destination);

  // Notes that the file of `ticName` is tossed but its .tic could not be disposed of: the next
  // run only disposes of it, and announces the file only when this run's message is not
  // stored.
  void noteDisposalPending(const std::string& ticName);

  // Notes that the events of the toss of `ticName` are carried out.
  void noteEventsRun(const std::string& ticName);

  // Notes, right after noteDone, that the events of the toss of `ticName` may not have run
  // to their end (a stop was asked for meanwhile): the next run carries them out again.
  void noteEventsOwed(const std::string& ticName);

  // Notes that the toss of `ticName` is complete: its .tic is gone.
  void noteDone(const std::string& ticName);

  // Notes that the run's message is complete in the temporary file `stagedPath`, right before
  // it is named: once that file is gone from there, the message counts as stored.
  void noteMessageStaged(const std::string& stagedPath);

  // Notes that the staged message will not be stored, before its temporary file goes.
  void noteMessageNotStored();

  // True when a run recorded the move of the file of `ticName` to `destination` as done, so
  // that the file there is that toss's.
  bool moveRecorded(const std::string& ticName, const std::string& destination) const;

  // The .tic names whose tosses dead runs left unfinished, to be finished first.
  std::vector<std::string> unfinishedTics() const;

  // True when the file of `ticName` is tossed and only its .tic is still to be disposed of.
  bool isDisposalPending(const std::string& ticName) const;

  // The .tic names whose files dead runs tossed but could not dispose of, to be disposed of.
  std::vector<std::string> pendingDisposals() const;

  // The tosses that dead runs completed but never announced, in the order they were made.
  const std::vector<JournalEntry>& unannounced() const { return completed; }

  // The tosses that dead runs completed without carrying out their events: events run at
  // least once, so these are run again.
  const std::vector<JournalEntry>& withoutEvents() const { return eventsOwed; }

  // Ends the journal: deletes it, except that tosses still unfinished, and .tic files still to
  // be disposed of, stay noted for the next run. Call it once the run's message is stored, or
  // when there is none to store.
  void finish();

 private:
  // What the records tell of one toss.
  struct Toss {
    JournalEntry entry;
    std::size_t order = 0;         // of its first record, across the journals read
    bool moved = false;            // its file is at the destination
    bool unfinished = false;       // moved, its list entry failed in this run
    bool disposalPending = false;  // tossed, the .tic still to go
    bool eventsRun = false;        // its events are carried out
    bool eventsOwed = false;       // done, but its events are to be carried out again
    bool announced = false;        // its announcement is stored

    // Adds what a record of `kind` tells.
    void add(char kind);
    // Adds what another journal tells of the same toss.
    void merge(const Toss& other);
  };

  platform::Status write(char kind, const JournalEntry& entry);
  void writeName(char kind, const std::string& name);
  // Writes the records that stand for what is known of a toss.
  void writeToss(const Toss& toss);
  // Reads the records of one dead run's journal into `tosses`.
  void readJournal(std::string_view text, std::map<std::string, Toss>& tosses);
  // Carries what the adopted journals owe into this run's own, then deletes them.
  void carryOver(const std::map<std::string, Toss>& tosses, std::vector<platform::File>& held,
                 const std::vector<std::string>& paths);
  void clearDeadRunsFiles(const std::vector<std::string>& directories) const;

  std::string inbound;
  std::string ownPath;
  platform::File own;
  std::uint64_t length = 0;                 // of the records written whole
  std::map<std::string, Toss> interrupted;  // .tic still there: finish, or only dispose
  std::vector<JournalEntry> completed;      // to announce
  std::vector<JournalEntry> eventsOwed;     // to carry out the events of
  std::set<std::string> sweepDirectories;
  std::map<std::string, Toss> ownTosses;  // this run's, still owing something
  std::size_t order = 1;                  // of the next record read
  Toss lastDone;                          // the toss that noteDone ended last
};
