#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/toss_config.h"

// What a run did, for the program's exit status.
struct RunReport {
  std::int32_t tossed = 0;  // files tossed
  bool troubled = false;    // a .tic failed for another reason than waiting for its file, or a
                            // flush or the message failed
};

// The part of a run after the configuration checks: makes the run's services, finishes what
// runs that died left behind, tosses every .tic of the inbound directory, stores the
// announcement, puts what was written on the disk and closes the log. `warnings` go into the
// log once it is open.
RunReport tossInbound(const TossConfig& settings, const std::vector<std::string>& warnings);
