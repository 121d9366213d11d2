#pragma once

#include "tic/tic_processor.h"

// Moves as the Windows NT family does: one move that replaces the destination, copying across
// file systems.
class NtTicProcessor : public TicProcessor {
 public:
  bool moveFile(const std::string& source, const std::string& destination) override;
};
