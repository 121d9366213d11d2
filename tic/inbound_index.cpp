#include "tic/inbound_index.h"

#include "platform/directory.h"
#include "util/text.h"

std::string InboundIndex::find(const std::string& name) {
  if (!names) {
    names.emplace();
    platform::DirectorySearch search(dir);
    std::string entry;
    while (search.next(entry)) {
      const auto [slot, added] = names->try_emplace(toUpperAnsi(entry), entry);
      if (!added) {
        slot->second.clear();  // two entries differ only in letter case: neither is chosen
      }
    }
  }
  const auto found = names->find(toUpperAnsi(name));
  return found == names->end() ? std::string() : found->second;
}
