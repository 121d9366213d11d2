#include "app/arrival_report.h"

#include <string_view>

#include "app/config_reader.h"
#include "tic/link_list.h"

namespace {

// What a key of the checks does as set, in the sysop's words; nullptr for a key of no check.
const char* meaning(std::string_view key, const TossConfig& s) {
  if (key == "Akas") {
    return s.akas.empty() ? "To may name FTNAddress only" : "To may name these or FTNAddress";
  }
  if (key == "VerifyFiles") {
    return s.verifyFiles ? "a file must fit its .tic's Size and Crc; one that does not waits, "
                           "and a copy that binkd renamed is looked for"
                         : "Size and Crc are not checked";
  }
  if (key == "BadTicDir") {
    return s.badTicDir.empty() ? "a refused .tic stays in the inbound"
                               : "a refused .tic goes here with its file";
  }
  if (key == "AutoCreate") {
    return s.autoCreate ? "a .tic of an area that is nowhere yet makes its directory"
                        : "a .tic of an area that is not listed and has no directory is refused";
  }
  if (key == "Replaces") {
    return s.replaces ? "a .tic's Replaces removes the older files it names, and their entries"
                      : "Replaces lines are not heeded";
  }
  if (key == "LongDesc") {
    return s.longDesc ? "LDesc lines (else further Desc lines) follow the entry in the list"
                      : "only the first Desc line is listed";
  }
  return nullptr;
}

}  // namespace

void reportArrivalChecks(const TossConfig& settings, std::ostream& out,
                         std::vector<std::string>& warnings) {
  out << "\nChecks of arriving .tic files:\n";
  if (settings.linksFile.empty()) {
    out << "  Links        none named: From, Pw and To are not checked\n";
  } else {
    LinkList links;
    if (loadLinkList(settings.linksFile, links).ok()) {
      out << "  Links        " << settings.linksFile << ": " << links.size()
          << (links.size() == 1 ? " link" : " links")
          << "; a .tic from any other, with another password, or To another node is refused\n";
    } else {
      out << "  Links        " << settings.linksFile
          << ": cannot be read; every .tic stays in the inbound\n";
    }
  }
  for (const ConfigKey& key : configKeys()) {
    if (const char* what = meaning(key.name, settings)) {
      const std::string name = key.name;
      out << "  " << name << std::string(name.size() < 12 ? 13 - name.size() : 1, ' ')
          << key.inEffect(settings) << (key.inEffect(settings).empty() ? "" : ": ") << what << '\n';
    }
  }
  if (settings.verifyFiles && settings.badTicDir.empty()) {
    warnings.push_back(
        "Warning: VerifyFiles is on without BadTicDir: a refused .tic stays in the inbound, "
        "and is refused again by every run");
  }
}
