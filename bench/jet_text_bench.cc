// Text benchmark: the conversions a row decode, an insert and an export run
// per text value, on values of the calendar's kind (German event names with
// umlauts, quotes and, in one, an en dash), so that a change to them can be
// measured by itself. Each reports bytes per second of the UTF-8 text.
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "jet/base/text.h"
#include "jet/base/text_encode.h"
#include "tools/jetdb/format.h"

namespace {

// Stored as plain UCS-2 (the en dash has no place in the compressed form).
const std::string kText =
    "Gedenktag der Heiligen Katharina \xE2\x80\x93 M\xC3\xA4rtyrin, \"Br\xC3\xBC"
    "der\"";
// Stored compressed, one byte a character.
const std::string kLatin1Text =
    "Gedenktag der Heiligen Katharina, M\xC3\xA4rtyrin, \"Br\xC3\xBC"
    "der\"";

void BM_DecodeJet4Text(benchmark::State& state) {
  const std::string& text = state.range(0) == 0 ? kText : kLatin1Text;
  std::string stored;
  if (!jet::EncodeJet4Text(text, true, &stored).ok()) std::abort();
  const auto* data = reinterpret_cast<const uint8_t*>(stored.data());
  std::string out;
  for (auto _ : state) {
    out.clear();
    jet::AppendJet4Text(data, stored.size(), &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
// 0: plain UCS-2, 1: compressed.
BENCHMARK(BM_DecodeJet4Text)->Arg(0)->Arg(1);

void BM_EncodeJet4Text(benchmark::State& state) {
  std::string stored;
  for (auto _ : state) {
    if (!jet::EncodeJet4Text(kText, true, &stored).ok()) std::abort();
    benchmark::DoNotOptimize(stored.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kText.size()));
}
BENCHMARK(BM_EncodeJet4Text);

void BM_JsonString(benchmark::State& state) {
  std::string out;
  for (auto _ : state) {
    out.clear();
    jetdb::AppendJsonString(kText, &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kText.size()));
}
BENCHMARK(BM_JsonString);

void BM_Hex(benchmark::State& state) {
  std::string out;
  for (auto _ : state) {
    out.clear();
    jetdb::AppendHex(kText, &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kText.size()));
}
BENCHMARK(BM_Hex);

}  // namespace

BENCHMARK_MAIN();
