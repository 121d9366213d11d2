// DescFileUpdater::update on description lists of growing length. Every update replaces an
// entry that is already in the list, so the list keeps its size from one update to the next
// and each timed update reads, filters and writes the same number of bytes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/toss_config.h"
#include "bench/scratch_dir.h"
#include "desc/desc_file_updater.h"

namespace {

std::string entryName(std::int64_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "FILE%06lld.ZIP", static_cast<long long>(number));
  return text;
}

// A list of `lines` lines: an entry line for every file, with every fourth entry followed by a
// continuation line, as lists with multi-line descriptions have.
std::string makeList(std::int64_t lines) {
  std::string list;
  std::int64_t number = 0;
  for (std::int64_t line = 0; line < lines; ++line) {
    if (line % 5 == 4) {
      list += "                 continued description of the archive above\r\n";
    } else {
      list += entryName(number) + "  Benchmark archive number " + std::to_string(number) +
              ", some words of description\r\n";
      ++number;
    }
  }
  return list;
}

void BM_DescUpdate(benchmark::State& state) {
  const std::int64_t lines = state.range(0);
  const bench::ScratchDir dir;
  const std::string listPath = dir / "files.bbs";
  const std::string list = makeList(lines);
  bench::writeFile(listPath, list);

  TossConfig config;
  config.descFilter = true;
  DescFileUpdater updater;
  updater.setup(&config, listPath);
  // An entry from the middle of the list: it is dropped from its place and written at the end.
  const std::string name = entryName(lines * 4 / 10);
  const std::string description = "Benchmark archive, replaced by a newer version";
  std::string cleaned;

  for (auto _ : state) {
    if (!updater.update(name, description, cleaned)) {
      state.SkipWithError("the list was not updated");
      break;
    }
    benchmark::DoNotOptimize(cleaned);
  }
  const auto finalSize = std::filesystem::file_size(listPath);
  if (finalSize + 200 < list.size() || finalSize > list.size() + 200) {
    state.SkipWithError("the list changed its size");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(list.size()));
  state.counters["lines"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["list_bytes"] = static_cast<double>(list.size());
}

}  // namespace

BENCHMARK(BM_DescUpdate)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(0.2);

BENCHMARK_MAIN();
