#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "announce/announcer.h"
#include "app/toss_config.h"
#include "desc/desc_file_updater.h"
#include "events/event_table.h"
#include "log/run_log.h"
#include "platform/durability.h"
#include "tic/area_path_map.h"
#include "tic/tic_processor.h"
#include "tic/toss_journal.h"

// What a run did, for the program's exit status.
struct RunReport {
  std::int32_t tossed = 0;  // files tossed
  bool troubled = false;    // a .tic failed for another reason than waiting for its file, or a
                            // flush or the message failed
};

// One tossing run, after the configuration checks, as the sequence of its phases. Each keeps
// an invariant that the next relies on:
//
// 1. recover: finish what runs that died left behind. Their journals are adopted and carried
//    into this run's own; their tosses that were never announced go into this run's message;
//    a .tic whose file they tossed but could not dispose of is disposed of, and a toss they
//    cut short is finished, before anything new. Afterwards this run's journal alone stands
//    for everything still owed.
// 2. toss: every .tic of the inbound, in the order they arrived and in batches, until a stop
//    is asked for. For each: file moved, list entry, .tic disposed of, log line, events,
//    announcement entry. The journal notes what the disk cannot tell afterwards (the toss
//    before its file moves, the move, a .tic not disposed of, the events run), so memory
//    holds a batch and a run killed anywhere is finished by the next one.
// 3. stage: the message is complete in its temporary file, and the journal notes that file
//    before anything gets a name.
// 4. flush and publish: everything written is put on the disk once; then the message gets its
//    number, and that name is put on the disk before the journal ends. A kill between the two
//    leaves a journal whose staged file is gone: the next run takes the message as stored and
//    announces nothing twice. A message that cannot be stored leaves the journal for the next
//    run to announce from.
class TossRun {
 public:
  // Makes the run's services from the settings and opens the log, which reports the run.
  TossRun(const TossConfig& settings, RunLog& log);

  // Runs the phases in order and reports.
  RunReport run();

 private:
  void recover();
  void tossInbound();
  void stage();
  void flushAndPublish();
  // Puts what the run wrote on the disk; false, with a warning each, when a flush failed.
  bool flushWritten();
  bool flush(const std::vector<std::string>& paths);
  // Names the staged message once everything it announces is on the disk; false, with a
  // warning, when there is a message that is not stored.
  bool publishMessage(bool flushed);
  void tossBatch();
  void count(TossResult result);
  void warn(const std::string& line);

  const TossConfig& settings;
  const std::string inboundPath;  // absolute, ending with a separator
  RunLog& log;
  AreaPathMap areaPaths;
  EventTable events;
  Announcer announcer;
  DescFileUpdater lists;
  TossJournal journal;
  TicProcessor processor;
  RunReport report;
  bool staged = false;
};

// What the log takes from the settings.
LogSettings logSettingsOf(const TossConfig& settings);

// Runs one tossing run over the settings (see TossRun), reported by `log`, which is not open
// yet and may hold warnings.
RunReport tossInbound(const TossConfig& settings, RunLog& log);
