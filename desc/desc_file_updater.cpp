#include "desc/desc_file_updater.h"

#include "app/toss_config.h"

void DescFileUpdater::setup(const TossConfig* config, const std::string& path) {
  listPath = path;
  cleaner = (config != nullptr && config->descFilter) ? cutDescription : keepDescription;
}

bool DescFileUpdater::update(const std::string& fileName, const std::string& description,
                             std::string& cleaned) {
  (void)fileName;
  cleaned = cleaner != nullptr ? cleaner(description) : description;
  return false;
}
