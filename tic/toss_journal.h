#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

// A run's journal: a hidden file in the inbound directory, held while the run lasts, that notes
// each toss before its file is moved and each block of the announcement once it is written.
// A run that dies (a reboot, kill -9) leaves its journal unheld; the next run adopts it,
// finishes the tosses that were cut short, announces what was not, and clears away the dead
// run's temporary files. Nothing is flushed to the disk for it: it guards against a process
// that dies, not against power loss.
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

  // Notes, before the move, that the file of .tic `ticName` goes to `destination`.
  void noteMove(const std::string& ticName, const std::string& destination);

  // Notes the announcement block written for .tic `ticName`.
  void noteAnnouncement(const std::string& ticName, std::string_view block);

  // Notes that the toss of `ticName` stopped after its file was moved; the next run finishes
  // it.
  void noteUnfinished(const std::string& ticName, const std::string& destination);

  // Notes that the toss of `ticName` is complete: its .tic is gone.
  void noteDone(const std::string& ticName);

  // The destination that a dead run moved the file of `ticName` to, when it was cut short
  // afterwards; the empty string otherwise.
  std::string interruptedMove(const std::string& ticName) const;

  // True when a dead run already wrote the announcement block of `ticName`.
  bool announcedBefore(const std::string& ticName) const;

  // The .tic names whose tosses dead runs left unfinished, to be finished first.
  std::vector<std::string> unfinishedTics() const;

  // The announcement blocks of dead runs, in the order they were written.
  const std::vector<std::string>& adoptedBlocks() const { return blocks; }

  // Deletes the temporary files of dead runs in `directories` and in the directories that
  // their tosses wrote to. Does nothing when no journal was adopted.
  void clearDeadRunsFiles(const std::vector<std::string>& directories) const;

  // Ends the journals: deletes the adopted ones and this run's own, except that tosses still
  // unfinished stay noted in this run's journal for the next run.
  void finish();

 private:
  void append(char kind, std::string_view first, std::string_view second);
  void adopt(const std::string& path);

  std::string inbound;
  std::string ownPath;
  platform::File own;
  std::vector<platform::File> adopted;  // held until finish(), so no other run adopts them
  std::vector<std::string> adoptedPaths;
  std::map<std::string, std::string> interrupted;  // .tic name to destination
  std::set<std::string> announced;                  // .tic names with a block in `blocks`
  std::vector<std::string> blocks;
  std::set<std::string> sweepDirectories;
  std::map<std::string, std::string> unfinished;  // this run's, .tic name to destination
};
