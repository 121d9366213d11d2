#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

// What the journal notes of one toss, before its file is moved.
struct JournalEntry {
  std::string ticName;
  std::string destination;  // the full path the file goes to
  std::string area;         // the area tag, as the announcement shows it
  std::string origin;       // the .tic's "Origin", as the announcement shows it
  std::string description;  // the cleaned description
};

// A run's journal: a hidden file in the inbound directory, held while the run lasts, with one
// record for each toss, written before its file is moved. A run that dies (a reboot, kill -9)
// leaves its journal unheld; the next run adopts it, finishes the tosses that were cut short,
// announces the files that were tossed but never announced, and clears away the dead run's
// temporary files. Nothing is flushed to the disk for it: it guards against a process that
// dies, not against power loss.
class TossJournal {
 public:
  // Journals, and the program's temporary files, carry names that start with this.
  static constexpr std::string_view kOwnPrefix = ".quenfar-";

  // Adopts every journal in `directory` that no live run holds, then starts this run's own.
  // Without a usable directory the run goes on without a journal.
  explicit TossJournal(const std::string& directory);
  ~TossJournal();
  TossJournal(const TossJournal&) = delete;
  TossJournal& operator=(const TossJournal&) = delete;

  // Notes a toss before its file is moved.
  void noteToss(const JournalEntry& entry);

  // Notes that the toss of `ticName` stopped after its file was moved; the next run finishes
  // it.
  void noteUnfinished(const std::string& ticName, const std::string& destination);

  // Notes that the toss of `ticName` is complete: its .tic is gone.
  void noteDone(const std::string& ticName);

  // The destination that a run moved the file of `ticName` to before its toss was cut short;
  // the empty string otherwise.
  std::string interruptedMove(const std::string& ticName) const;

  // The .tic names whose tosses dead runs left unfinished, to be finished first.
  std::vector<std::string> unfinishedTics() const;

  // The tosses that dead runs completed but never announced, in the order they were made.
  const std::vector<JournalEntry>& unannounced() const { return completed; }

  // Deletes the temporary files of dead runs in `directories` and in the directories that
  // their tosses wrote to. Does nothing when no journal was adopted.
  void clearDeadRunsFiles(const std::vector<std::string>& directories) const;

  // Ends the journals: deletes the adopted ones and this run's own, except that tosses still
  // unfinished stay noted in this run's journal for the next run.
  void finish();

 private:
  void write(const JournalEntry& entry, char kind);
  void adopt(const std::string& path);

  std::string inbound;
  std::string ownPath;
  platform::File own;
  std::vector<platform::File> adopted;  // held until finish(), so no other run adopts them
  std::vector<std::string> adoptedPaths;
  std::map<std::string, std::string> interrupted;  // .tic name to destination
  std::vector<JournalEntry> completed;
  std::set<std::string> sweepDirectories;
  std::map<std::string, std::string> unfinished;  // this run's, .tic name to destination
};
