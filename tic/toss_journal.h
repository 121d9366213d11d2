#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/status.h"
#include "tic/toss_evidence.h"

// What the journal notes of one toss, before its file is moved.
struct JournalEntry {
  std::string ticName;
  std::string destination;  // the full path the file goes to
  std::string area;         // the area tag, as the announcement shows it
  std::string origin;       // the .tic's "Origin", as the announcement shows it
  std::string description;  // the cleaned description
  TossEvidence evidence;
};

// A run's journal: a hidden file in the inbound directory, held while the run lasts, to which
// the run appends the records that recovery needs, each before (or right after) the step it
// tells of: the toss, with its evidence, before its file is moved (T; a batch's tosses are
// written together when the batch is put on the disk); the move, only where the evidence
// cannot tell it (V); a .tic that could not be disposed of (D); the events run (E); an
// announcement carried from a dead run and stored (S); the message complete in its temporary
// file (A) or given up (X). A step that recovery can read from the file system (a list entry,
// a .tic disposed of) has no record. Nothing is rewritten; the latest toss of a .tic name is
// the one its later records speak of, and a record cut short is ignored.
//
// The next run adopts every journal that no live run holds, and decides from the records and
// the file system, by the table in ARCHITECTURE.md, what each toss still owes: finishing it,
// disposing of its .tic, running its events, announcing it. What is owed is carried into this
// run's journal, which is then put on the disk; the adopted journals stay, held, until this
// run ends with everything they owed done or carried on.
class TossJournal {
 public:
  // Adopts the dead runs' journals in `directory` and starts this run's own (see above); then
  // clears away the dead runs' temporary files there, in `sweep` and in their areas. Without a
  // usable directory the run has no journal, and no toss can be noted.
  TossJournal(const std::string& directory, const std::vector<std::string>& sweep);
  TossJournal(const TossJournal&) = delete;
  TossJournal& operator=(const TossJournal&) = delete;

  // Notes a toss before its file is moved; the record is written with the batch's others by
  // sync(). A toss that cannot be noted must not move its file.
  platform::Status noteToss(const JournalEntry& entry);
  // Puts the records written so far on the disk: a batch of tosses is noted and flushed
  // before any of its files moves, so that after a power cut every moved file has its record.
  platform::Status sync();

  // The steps of a toss noted with noteToss (or carried from a dead run), by its .tic name.
  // Each fails with the cause when its record cannot be written; the journal then reads as if
  // the step had not been taken (the record is tried again with the next), and the run may go
  // on.
  // Its file moved, where the evidence cannot tell (the system gave the file no identity).
  platform::Status noteMoved(const std::string& ticName);
  // Its list entry failed after the move: the next run finishes the toss.
  void noteUnfinished(const JournalEntry& entry);
  // Its .tic could not be disposed of: the next run only disposes of it.
  platform::Status noteDisposalPending(const JournalEntry& entry);
  // Its .tic is disposed of.
  void noteDisposed(const std::string& ticName);
  // Its events ran (with none to run, nothing is written); or a stop may have cut them short.
  enum class Events { ran, none };
  platform::Status noteEventsRun(const std::string& ticName, Events events = Events::ran);
  void noteEventsOwed(const JournalEntry& entry);

  // Notes that the run's message is complete in the temporary file `stagedPath`, right before
  // it is named: once that file is gone from there, the message counts as stored.
  platform::Status noteMessageStaged(const std::string& stagedPath);
  // Notes that the staged message will not be stored, before its temporary file goes.
  platform::Status noteMessageNotStored();

  // How many journals of dead runs this run adopted.
  std::size_t adoptedCount() const { return adopted.size(); }

  // What the adopted journals owe, by the rows of the recovery table: the tosses whose file is
  // in place and whose .tic is still there, to be finished first;
  const std::vector<std::string>& unfinishedTics() const { return toFinish; }
  // the .tic files of tosses complete but for their disposal; the tosses never announced, and
  // those whose events never ran, in the order they were made.
  const std::vector<std::string>& pendingDisposals() const { return toDispose; }
  const std::vector<JournalEntry>& unannounced() const { return toAnnounce; }
  const std::vector<JournalEntry>& withoutEvents() const { return toRunEvents; }
  // True when the file of `ticName` is tossed and only its .tic is still to be disposed of.
  bool isDisposalPending(const std::string& ticName) const;
  // The evidence of a carried toss whose file is in place, when `ticName` is one; else null.
  const TossEvidence* placedBefore(const std::string& ticName,
                                   const std::string& destination) const;

  // Ends the journal once the run's message is stored (or there is none): what is still owed
  // goes into a new journal for the next run, put on the disk; then this run's journal and the
  // adopted ones are deleted. Where the new journal cannot be written, all of them stay.
  void finish();

 private:
  // What the records tell of one toss.
  struct Toss {
    JournalEntry entry;
    std::size_t order = 0;  // of its first record, across the journals read
    bool moved = false;
    bool disposalPending = false;
    bool eventsRun = false;
    bool announced = false;
    bool unfinished = false;  // in memory only: moved, its .tic still there
    bool eventsOwed = false;  // in memory only: its events are still to run

    bool owesSomething() const { return unfinished || disposalPending || eventsOwed; }
  };

  platform::Status write(char kind, const JournalEntry& entry);
  platform::Status writePending();
  platform::Status writeName(char kind, const std::string& ticName);
  // The toss's record and those of the steps it has taken.
  platform::Status writeToss(const Toss& toss, bool announced);
  void readJournal(std::string_view text, std::map<std::string, Toss>& tosses);
  // Decides by the recovery table what each adopted toss owes, and carries it.
  void recover(std::map<std::string, Toss>& tosses);
  Toss& owedToss(const JournalEntry& entry);
  void forgetIfSettled(const std::string& ticName);
  void clearDeadRunsFiles(const std::vector<std::string>& directories) const;

  std::string inbound;
  std::string ownPath;
  platform::File own;
  std::uint64_t length = 0;  // of the records written whole
  std::string pending;       // records not yet written: the tosses of the batch being read
  bool nameSynced = false;   // the journal's name is on the disk
  std::vector<platform::File> adopted;
  std::vector<std::string> adoptedPaths;
  std::vector<std::string> toFinish;
  std::vector<std::string> toDispose;
  std::vector<JournalEntry> toAnnounce;
  std::vector<JournalEntry> toRunEvents;
  std::vector<std::string> sweepDirectories;
  std::vector<std::string> unstored;  // dead runs' staged messages, never named
  std::map<std::string, Toss> owed;   // carried from dead runs, or left owing by this one
  std::size_t order = 1;              // of the next record read
};
