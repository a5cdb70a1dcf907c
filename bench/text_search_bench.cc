// Cost of the text work inside "select_text" and "insert_text" on large
// field values: the canonical-equivalence occurrence search (with its
// grapheme clustering and per-cluster NFC) and the UTF-16 replacement of a
// selection. Sizes are the field value's length in bytes.
#include <benchmark/benchmark.h>

#include <string>

#include "accessibility/text_editing.h"
#include "accessibility/text_search.h"

namespace {

// A field value of about `bytes` bytes: plain words, or words with accents
// (both forms), emoji and CJK mixed in. The needle occurs once, at the end.
std::string fieldText(size_t bytes, bool mixed) {
  const std::string plain = "lorem ipsum dolor sit amet ";
  const std::string rich = "caf\xC3\xA9 cafe\xCC\x81 \xF0\x9F\x91\x8D \xE6\x96\x87\xE5\xAD\x97 ";
  std::string text;
  while (text.size() < bytes)
    text += mixed ? rich : plain;
  return text + "needle";
}

void BM_SelectTextSearch(benchmark::State& state) {
  const std::string text = fieldText(static_cast<size_t>(state.range(0)), state.range(1) != 0);
  for (auto _ : state)
    benchmark::DoNotOptimize(cuh::acceptedOccurrences(text, "needle", "", ""));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SelectTextSearch)
    ->ArgNames({"bytes", "mixed"})
    ->ArgsProduct({{1 << 10, 1 << 17, 1 << 20}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

void BM_InsertTextReplacement(benchmark::State& state) {
  const std::string text = fieldText(static_cast<size_t>(state.range(0)), true);
  const cuh::platform::Range middle{static_cast<int64_t>(text.size() / 4), 3};
  for (auto _ : state)
    benchmark::DoNotOptimize(cuh::replaceSelection(text, middle, "inserted"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_InsertTextReplacement)
    ->ArgName("bytes")
    ->Arg(1 << 10)
    ->Arg(1 << 17)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
