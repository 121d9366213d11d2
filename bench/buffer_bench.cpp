// ByteBuffer growth and readLine over large blocks. ByteBuffer grows to exactly the size each
// append needs and leaves it to realloc to avoid copying the whole block every time; these
// benchmarks show whether appending stays linear in the bytes appended.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/byte_buffer.h"
#include "util/crc32.h"
#include "util/line_reader.h"

namespace {

constexpr std::uint32_t kBlockSize = 200;
// The first capacity the announcer gives its message body.
constexpr std::uint32_t kFirstCapacity = 8192;

const std::string& block() {
  static const std::string text(kBlockSize, 'b');
  return text;
}

void reportBlocks(benchmark::State& state) {
  const std::int64_t bytes = state.range(0) * static_cast<std::int64_t>(kBlockSize);
  state.SetBytesProcessed(state.iterations() * bytes);
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["total_bytes"] = static_cast<double>(bytes);
}

// Counts how often a growing block moved to another address, and how many bytes such moves
// had to carry over: a move copies the whole block unless the system remaps its pages.
struct MoveCount {
  const void* last = nullptr;
  std::int64_t moves = 0;
  std::int64_t carried = 0;

  void note(const void* address, std::int64_t bytesBefore) {
    if (last != nullptr && address != last) {
      ++moves;
      carried += bytesBefore;
    }
    last = address;
  }

  void report(benchmark::State& state) const {
    const auto perRun = static_cast<double>(state.iterations());
    state.counters["moves"] = static_cast<double>(moves) / perRun;
    state.counters["moved_bytes"] = static_cast<double>(carried) / perRun;
  }
};

// Appends range(0) blocks of 200 bytes to a fresh buffer.
void BM_ByteBufferAppend(benchmark::State& state) {
  const auto blocks = state.range(0);
  MoveCount count;
  for (auto _ : state) {
    ByteBuffer buffer(kFirstCapacity);
    count.last = nullptr;
    for (std::int64_t i = 0; i < blocks; ++i) {
      const std::uint32_t before = buffer.size();
      if (!buffer.append(block())) {
        state.SkipWithError("append failed");
        return;
      }
      count.note(buffer.data(), before);
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  reportBlocks(state);
  count.report(state);
}

// As BM_ByteBufferAppend, with a small allocation kept alive after every append, as a run
// allocates names and descriptions while the announcement grows. Those allocations sit next
// to the block and can keep realloc from growing it where it is.
void BM_ByteBufferAppendWithLiveAllocations(benchmark::State& state) {
  const auto blocks = state.range(0);
  std::vector<std::unique_ptr<char[]>> live;
  live.reserve(static_cast<std::size_t>(blocks));
  MoveCount count;
  for (auto _ : state) {
    {
      ByteBuffer buffer(kFirstCapacity);
      count.last = nullptr;
      for (std::int64_t i = 0; i < blocks; ++i) {
        const std::uint32_t before = buffer.size();
        if (!buffer.append(block())) {
          state.SkipWithError("append failed");
          return;
        }
        count.note(buffer.data(), before);
        live.push_back(std::make_unique<char[]>(48));
      }
      benchmark::DoNotOptimize(buffer.data());
      benchmark::ClobberMemory();
    }
    state.PauseTiming();
    live.clear();
    state.ResumeTiming();
  }
  reportBlocks(state);
  count.report(state);
}

// The same appends to a std::string, which grows geometrically; a yardstick for the above.
void BM_StringAppend(benchmark::State& state) {
  const auto blocks = state.range(0);
  MoveCount count;
  for (auto _ : state) {
    std::string text;
    text.reserve(kFirstCapacity);
    count.last = nullptr;
    for (std::int64_t i = 0; i < blocks; ++i) {
      const auto before = static_cast<std::int64_t>(text.size());
      text.append(block());
      count.note(text.data(), before);
    }
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  reportBlocks(state);
  count.report(state);
}

// Reads every line of a block of range(0) bytes made of description-list lines.
void BM_ReadLine(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string line =
      "FILE000001.ZIP  Benchmark archive number 1, some words of description\r\n";
  std::string text;
  text.reserve(size + line.size());
  while (text.size() < size) {
    text += line;
  }
  const std::string_view view(text);
  const auto length = static_cast<std::uint32_t>(view.size());
  std::int64_t lines = 0;
  for (auto _ : state) {
    std::uint32_t position = 0;
    lines = 0;
    while (position < length) {
      std::string read = readLine(view, position);
      benchmark::DoNotOptimize(read.data());
      ++lines;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetItemsProcessed(state.iterations() * lines);
}

void appendSizes(benchmark::internal::Benchmark* b) {
  // 50 KB to 5 MB of 200-byte blocks.
  for (const std::int64_t blocks : {256, 1024, 4096, 16384, 25600}) {
    b->Arg(blocks);
  }
  b->Unit(benchmark::kMicrosecond)->MinTime(0.1);
}

// The CRC-32 that VerifyFiles reads every file with: it must run at 1 GB/s or faster.
void BM_Crc32(benchmark::State& state) {
  std::string bytes(static_cast<std::size_t>(state.range(0)), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((i * 2654435761U) >> 24);
  }
  for (auto _ : state) {
    Crc32 crc;
    crc.update(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(crc.value());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

}  // namespace

BENCHMARK(BM_Crc32)->Arg(4 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond)->MinTime(0.2);
BENCHMARK(BM_ByteBufferAppend)->Apply(appendSizes);
BENCHMARK(BM_ByteBufferAppendWithLiveAllocations)->Apply(appendSizes);
BENCHMARK(BM_StringAppend)->Apply(appendSizes);
BENCHMARK(BM_ReadLine)
    ->RangeMultiplier(8)
    ->Range(64 << 10, 8 << 20)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.1);

BENCHMARK_MAIN();
