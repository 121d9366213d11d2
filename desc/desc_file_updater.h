#pragma once

#include <string>

#include "desc/desc_cleaner.h"

struct TossConfig;

// Puts one tossed file's entry into its area's description list.
class DescFileUpdater {
 public:
  virtual ~DescFileUpdater() = default;

  // Remembers the list's path and chooses the cleaner by the configuration's DescFilter.
  // Touches no file.
  void setup(const TossConfig* config, const std::string& path);

  // Sets `cleaned` to the cleaned description before touching any file, then replaces the
  // file's old entries in the list with one new entry at the end; a missing list is created
  // with that entry alone. The new list replaces the old one whole, with the old permission
  // bits. True when the list was written; otherwise (list held by another opener, unreadable,
  // disk full, ...) the list stays exactly as it was and no temporary file is left.
  bool update(const std::string& fileName, const std::string& description, std::string& cleaned);

 private:
  std::string listPath;
  DescriptionCleaner cleaner = nullptr;
};
