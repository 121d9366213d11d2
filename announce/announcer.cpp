#include "announce/announcer.h"

#include "app/toss_config.h"

Announcer::~Announcer() = default;

bool Announcer::active() const { return config != nullptr && !config->netmailDir.empty(); }

void Announcer::begin() {}
void Announcer::beginAt(std::int64_t time) { (void)time; }
void Announcer::addFile(const AnnounceEntry& entry) { (void)entry; }
void Announcer::addText(const std::string& text) { (void)text; }
void Announcer::post() {}
