#include "events/event_table.h"

#include "app/toss_config.h"

bool matchMask(std::string mask, std::string text) { return mask == text; }
bool matchFileMask(std::string mask, std::string fileName) { return mask == fileName; }

EventTable::~EventTable() = default;

void EventTable::load(const TossConfig* target) { config = target; }

void EventTable::runEvents(std::string area, std::string fileName, std::string destinationPath) {
  (void)area;
  (void)fileName;
  (void)destinationPath;
}

void EventTable::runAction(const EventEntry& entry, const std::string& fileName,
                           const std::string& destinationPath) {
  (void)entry;
  (void)fileName;
  (void)destinationPath;
}
