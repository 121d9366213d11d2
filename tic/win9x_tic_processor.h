#pragma once

#include "tic/tic_processor.h"

// Moves as the Windows 95/98 family does: rename without replacing; when that fails, copy over
// the destination and delete the source (a source that cannot be deleted still counts).
class Win9xTicProcessor : public TicProcessor {
 public:
  bool moveFile(const std::string& source, const std::string& destination) override;
};
