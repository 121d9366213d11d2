#include "app/toss_app.h"

#include <iostream>
#include <memory>

#include "announce/announcer.h"
#include "app/config_reader.h"
#include "app/toss_config.h"
#include "desc/area_path_map.h"
#include "events/event_table.h"
#include "log/run_log.h"
#include "platform/directory.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/nt_tic_processor.h"
#include "tic/win9x_tic_processor.h"
#include "util/paths.h"

void TossApp::printMessage(int number) {
  std::cout << platform::toConsoleCharset(loadMessage(number)) << '\n' << std::flush;
}

void TossApp::run() {
  // The objects of the run, in order of creation; they are released in reverse order.
  ConfigReader reader;
  RunLog log;
  AreaPathMap areaPaths;
  EventTable events;
  Announcer announcer;
  TossConfig config;
  config.osVersion = platform::queryOsVersion();
  config.log = &log;
  config.areaPaths = &areaPaths;
  config.events = &events;
  config.announcer = &announcer;

  printMessage(msg::kBanner);
  printMessage(msg::kNotice);

  reader.setConfig(&config);
  reader.read();

  // Nothing is touched until the configuration is known to be usable.
  if (config.inboundDir.empty()) {
    printMessage(msg::kNoInbound);
    return;
  }
  if (config.fileechoDir.empty()) {
    printMessage(msg::kNoFileecho);
    return;
  }
  if (!config.netmailDir.empty() && config.ftnAddress.empty()) {
    printMessage(msg::kNoFtnAddress);
    return;
  }

  // The run owns every object; the tossing reaches them through the configuration.
  tossInbound(config);
}

std::int32_t TossApp::tossInbound(TossConfig& config) {
  std::int32_t tossed = 0;
  config.areaPaths->load(&config);
  config.events->load(&config);
  config.announcer->setConfig(&config);
  config.announcer->begin();
  if (!config.ticDir.empty()) {
    makeDirectoryPath(config.ticDir);
  }
  config.log->setConfig(&config);
  config.log->setEnabled(!config.logFile.empty());
  config.log->open();

  std::unique_ptr<TicProcessor> processor;
  if (config.osVersion.dwPlatformId == platform::kPlatformWin9x) {
    processor = std::make_unique<Win9xTicProcessor>();
  } else {
    processor = std::make_unique<NtTicProcessor>();
  }
  processor->configure(&config);

  // Entries are taken one at a time as the directory yields them, so memory does not grow
  // with the inbound directory.
  const std::string inbound = withTrailingBackslash(config.inboundDir);
  const std::string inboundPath = withTrailingBackslash(platform::absolutePath(inbound));
  platform::DirectorySearch search(inbound);
  std::string name;
  while (search.next(name)) {
    if (!platform::endsWithIgnoringCase(name, ".tic")) {
      continue;
    }
    processor->setTicPath(inboundPath + name);
    processor->readTic();
    if (processor->processTic()) {
      ++tossed;
    }
  }

  if (tossed > 0) {
    config.announcer->addText("File proceded " + std::to_string(tossed) + "\r\n");
    config.announcer->post();
  } else {
    config.log->writeLine(loadMessage(msg::kNothingToToss));
    printMessage(msg::kNothingToToss);
  }
  config.log->close();
  return tossed;
}
