#pragma once

// The application: one tossing run per start of the program.
class TossApp {
 public:
  virtual ~TossApp() = default;

  // Performs one tossing run: reads the configuration, refuses to run without the required
  // settings, tosses every .tic of the inbound directory, reports and logs.
  void run();

  // Writes numbered message `number` to standard output with a line end, and flushes.
  void printMessage(int number);
};
