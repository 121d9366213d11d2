#include "desc/desc_cleaner.h"

std::string cutDescription(const std::string& description) { return description; }

std::string keepDescription(const std::string& description) { return description; }
