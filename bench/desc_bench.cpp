// DescFileUpdater::update on description lists of growing length. BM_DescReplace replaces an
// entry that is already in the list, so every update rewrites the whole list; BM_DescAppend adds
// new names, which one updater appends without reading the list again, so its time should not
// grow with the list.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "desc/desc_file_updater.h"
#include "tests/support/temp_dir.h"

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

void BM_DescReplace(benchmark::State& state) {
  const std::int64_t lines = state.range(0);
  const test::TempDir dir;
  const std::string listPath = dir / "files.bbs";
  const std::string list = makeList(lines);
  test::writeFile(listPath, list);

  DescFileUpdater updater(cutDescription, std::chrono::milliseconds(0));
  // An entry from the middle of the list: it is dropped from its place and written at the end.
  const std::string name = entryName(lines * 4 / 10);
  const std::string description = "Benchmark archive, replaced by a newer version";
  const std::string cleaned = updater.clean(description);

  for (auto _ : state) {
    if (!updater.update(listPath, name, cleaned)) {
      state.SkipWithError("the list was not updated");
      break;
    }
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

void BM_DescAppend(benchmark::State& state) {
  const std::int64_t lines = state.range(0);
  const test::TempDir dir;
  const std::string listPath = dir / "files.bbs";
  test::writeFile(listPath, makeList(lines));
  DescFileUpdater updater(cutDescription, std::chrono::milliseconds(0));
  std::int64_t number = lines;
  for (auto _ : state) {
    if (!updater.update(listPath, entryName(++number), "A new archive")) {
      state.SkipWithError("the list was not updated");
      break;
    }
  }
}

// The first update a run makes to a list: a new updater reads the list once to learn its form
// and names, then appends.
void BM_DescFirstUpdate(benchmark::State& state) {
  const std::int64_t lines = state.range(0);
  const test::TempDir dir;
  const std::string listPath = dir / "files.bbs";
  test::writeFile(listPath, makeList(lines));
  std::int64_t number = lines;
  for (auto _ : state) {
    DescFileUpdater updater(cutDescription, std::chrono::milliseconds(0));
    if (!updater.update(listPath, entryName(++number), "A new archive")) {
      state.SkipWithError("the list was not updated");
      break;
    }
  }
}

}  // namespace

BENCHMARK(BM_DescReplace)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(0.2);
BENCHMARK(BM_DescAppend)
    ->Arg(100)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(0.2);

BENCHMARK(BM_DescFirstUpdate)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(0.2);

BENCHMARK_MAIN();
