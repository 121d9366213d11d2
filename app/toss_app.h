#pragma once

#include <cstdint>

struct TossConfig;

// The application: one tossing run per start of the program.
class TossApp {
 public:
  virtual ~TossApp() = default;

  // Performs one tossing run: reads the configuration, refuses to run without the required
  // settings, tosses every .tic of the inbound directory, reports and logs.
  void run();

  // Writes numbered message `number` to standard output with a line end, and flushes.
  void printMessage(int number);

  // The part of a run after the configuration checks: loads the lists, begins the
  // announcement, creates TICDir, opens the log, tosses every .tic of the inbound directory,
  // reports and closes the log. Works with the objects that `config` points to. Returns the
  // number of files tossed.
  std::int32_t tossInbound(TossConfig& config);
};
