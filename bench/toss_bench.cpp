// Whole tossing runs over an inbound directory of N .tic files, driven in-process through
// tossInbound, the same routine the program runs, with a log and an announcement. Only the run is
// timed; writing the inbound and clearing the previous run's results happen with the clock
// stopped.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/toss_config.h"
#include "app/toss_run.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"
#include "util/paths.h"

namespace {

// Files are spread over this many areas, so each area's description list ends up with N/10
// entries.
constexpr int kAreas = 10;
constexpr std::size_t kDataFileSize = 1024;

// How the data files of an inbound relate to the names their .tic files give.
enum class Arrival {
  allArrived,   // every data file is there under the name its .tic gives
  halfMissing,  // every second .tic names a file that has not arrived
  caseDiffers,  // every data file arrived in lower case, its .tic names it in upper case
};

void recreateDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  std::filesystem::create_directories(path);
}

std::string numbered(const char* format, int number) {
  char text[32];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

std::string ticText(int number) {
  const std::string area = numbered("BENCH%02d", number % kAreas);
  return "Area " + area + "\r\n" + "Areadesc Benchmark file area\r\n" + "Origin 2:5020/9999\r\n" +
         "From 2:5020/9999\r\n" + "To Sysop, 2:5020/9999\r\n" + "File " +
         numbered("FILE%05d.ZIP", number) + "\r\n" + "Desc Benchmark archive number " +
         std::to_string(number) + ", some words of description\r\n" + "Size 1024\r\n" +
         "Crc 0BADF00D\r\n" + "Path 2:5020/9999 1700000000\r\n" + "Seenby 2:5020/9999\r\n" +
         "Pw secret\r\n";
}

// A node in a scratch directory: in/, files/, netmail/ and quenfar.log. The inbound's files are
// written once to pristine/ and each run's inbound is made of hard links to them; every data
// file is a link to the same block of bytes. Creating files is slow on a journaling file
// system, and linking keeps the untimed part of the benchmark short.
class BenchNode {
 public:
  BenchNode(int count, Arrival arrival) {
    recreateDirectory(path("pristine"));
    test::writeFile(path("pristine/data"), std::string(kDataFileSize, 'x'));
    for (int i = 0; i < count; ++i) {
      const std::string ticName = numbered("b%07d.tic", i);
      test::writeFile(path("pristine/" + ticName), ticText(i));
      links.push_back({ticName, ticName});
      if (arrival == Arrival::halfMissing && i % 2 == 1) {
        continue;
      }
      const char* format = arrival == Arrival::caseDiffers ? "file%05d.zip" : "FILE%05d.ZIP";
      links.push_back({"data", numbered(format, i)});
    }
  }

  std::string path(const std::string& relative) const { return dir / relative; }

  // Clears what the previous run left and links a fresh inbound.
  void prepare() const {
    recreateDirectory(path("in"));
    recreateDirectory(path("files"));
    recreateDirectory(path("netmail"));
    std::error_code error;
    std::filesystem::remove(path("quenfar.log"), error);
    for (const InboundLink& link : links) {
      std::filesystem::create_hard_link(path("pristine/" + link.source), path("in/" + link.name));
    }
  }

 private:
  struct InboundLink {
    std::string source;  // in pristine/
    std::string name;    // in in/
  };
  test::TempDir dir;
  std::vector<InboundLink> links;
};

// One tossing run over the node's inbound. Returns the number of files tossed.
std::int32_t tossRun(const BenchNode& node) {
  TossConfig config;
  config.inboundDir = node.path("in");
  config.fileechoDir = node.path("files");
  config.descFile = "files.bbs";
  config.logFile = node.path("quenfar.log");
  config.descFilter = true;
  config.descInLog = true;
  config.netmailDir = withTrailingBackslash(node.path("netmail"));
  config.ftnAddress = "2:5020/9999.0";
  RunLog log(logSettingsOf(config));
  return tossInbound(config, log).tossed;
}

void runToss(benchmark::State& state, Arrival arrival) {
  const int count = static_cast<int>(state.range(0));
  const std::int32_t expected = arrival == Arrival::halfMissing ? (count + 1) / 2 : count;
  const BenchNode node(count, arrival);
  for (auto _ : state) {
    state.PauseTiming();
    node.prepare();
    state.ResumeTiming();

    const std::int32_t tossed = tossRun(node);
    benchmark::DoNotOptimize(tossed);
    if (tossed != expected) {
      state.SkipWithError("the run tossed an unexpected number of files");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["per_tic"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void BM_TossAllArrived(benchmark::State& state) {
  runToss(state, Arrival::allArrived);
}
void BM_TossHalfMissing(benchmark::State& state) {
  runToss(state, Arrival::halfMissing);
}
void BM_TossCaseDiffers(benchmark::State& state) {
  runToss(state, Arrival::caseDiffers);
}

// Registers one variant for each inbound size. A run writes and syncs files for every tossed
// .tic, so the larger inbounds get a single timed run each.
void registerToss(const char* name, void (*function)(benchmark::State&),
                  const std::vector<int>& counts) {
  for (const int count : counts) {
    benchmark::RegisterBenchmark(name, function)
        ->Arg(count)
        ->Iterations(count <= 100 ? 5 : 1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}

}  // namespace

// The variants whose names miss read the inbound once for its letter cases; their 5000-file
// runs are left out unless QUENFAR_BENCH_LARGE is set.
int main(int argc, char** argv) {
  const char* large = std::getenv("QUENFAR_BENCH_LARGE");
  const bool withLarge = large != nullptr && *large != '\0' && std::string(large) != "0";
  std::vector<int> fallbackCounts{100, 1000, 2000};
  if (withLarge) {
    fallbackCounts.push_back(5000);
  }
  registerToss("BM_TossAllArrived", BM_TossAllArrived, {100, 1000, 5000});
  registerToss("BM_TossHalfMissing", BM_TossHalfMissing, fallbackCounts);
  registerToss("BM_TossCaseDiffers", BM_TossCaseDiffers, fallbackCounts);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
