// What a refused unit costs against a good one, through the same entry point in the same run: the
// SPS units of the sample streams (H.264 and H.265), each added whole to its codec's collection
// (H264_PS / HEVC_PS::AddNALU), and the same units cut in half, which the collection refuses ("End
// of stream", or a range check on what it read in place of the missing bytes; the few that still
// decode are left out of both). A refusal is the
// decode up to the fault plus the throw of the failure, with its description and call stack, out
// to the caller. The parts of a throw are timed on their own after them: the call-stack capture,
// and a failure thrown to the caller bare, with its description only, and as the parsers throw it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Throw.h"

#include "ParameterSetBench.h"

namespace {

using namespace Orvane::Proc::CodecParsers;

// The SPS units of one codec's sample streams that the collection refuses when cut in half, whole
// and cut, each with a collection of its stream that holds what an SPS refers to (the VPS).
template <class PS>
struct SPSUnits {
  bench_support::ParameterSetUnits units;  // the streams' bytes, which the units point into
  std::vector<NALU> whole, cut;
  std::vector<PS> collections;  // one per unit

  SPSUnits(const char* folder, const char* extension, uint32_t (*type)(const NALU&), uint32_t first, uint32_t sps)
      : units(folder, extension, type, first, sps) {
    std::vector<PS> streams(units.streams.size());
    for (size_t i = 0; i < units.units.size(); ++i) {
      const NALU& u = units.units[i];
      PS& ps = streams[units.streamOf[i]];
      if (type(u) != sps) {
        ps.AddNALU(u);
        continue;
      }
      PS trial = ps;
      if (!Refused(trial, NALU{u.data, u.size / 2})) continue;
      whole.push_back(u);
      cut.push_back(NALU{u.data, u.size / 2});
      collections.push_back(ps);
    }
  }

  static bool Refused(PS& ps, const NALU& nalu) {
    try {
      ps.AddNALU(nalu);
    } catch (const BitstreamException&) {
      return true;
    }
    return false;
  }
};

const SPSUnits<H264_PS>& H264Units() {
  static const SPSUnits<H264_PS> units(H264_BENCH_DATA, ".h264", H264NaluType, 7, 7);
  return units;
}
const SPSUnits<HEVC_PS>& HEVCUnits() {
  static const SPSUnits<HEVC_PS> units(HEVC_BENCH_DATA, ".hevc", HEVCNaluType, 32, 33);
  return units;
}

template <class PS>
void GoodSPS(benchmark::State& state, const SPSUnits<PS>& u) {
  std::vector<PS> collections = u.collections;
  for (auto _ : state) {
    for (size_t i = 0; i < u.whole.size(); ++i) collections[i].AddNALU(u.whole[i]);
    benchmark::DoNotOptimize(collections.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.whole.size()));
}

template <class PS>
void RefusedSPS(benchmark::State& state, const SPSUnits<PS>& u) {
  std::vector<PS> collections = u.collections;
  for (auto _ : state) {
    for (size_t i = 0; i < u.cut.size(); ++i) benchmark::DoNotOptimize(u.Refused(collections[i], u.cut[i]));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.cut.size()));
  state.counters["units"] = static_cast<double>(u.cut.size());
}

void BM_H264GoodSPS(benchmark::State& state) { GoodSPS(state, H264Units()); }
void BM_H264RefusedSPS(benchmark::State& state) { RefusedSPS(state, H264Units()); }
void BM_HEVCGoodSPS(benchmark::State& state) { GoodSPS(state, HEVCUnits()); }
void BM_HEVCRefusedSPS(benchmark::State& state) { RefusedSPS(state, HEVCUnits()); }
BENCHMARK(BM_H264GoodSPS);
BENCHMARK(BM_H264RefusedSPS);
BENCHMARK(BM_HEVCGoodSPS);
BENCHMARK(BM_HEVCRefusedSPS);

// The parts of a throw.

void BM_GetCallStack(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Orvane::GetCallStack());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_GetCallStack);

enum class Attached { kNothing, kDescription, kDescriptionAndCallStack };

[[gnu::noinline]] void Fail(Attached attached) {
  constexpr char kUnit[] = "Orvane/Proc/CodecParsers/H26xBitstreamParser";
  if (attached == Attached::kDescriptionAndCallStack)
    Orvane::ThrowException<BitstreamException>(kUnit, "Decode", "End of stream");
  BitstreamException e;
  if (attached == Attached::kDescription) e << Orvane::ErrorDescription("End of stream");
  boost::throw_exception(e, boost::source_location(kUnit, 1, "Decode", 1));
}

void BM_Throw(benchmark::State& state) {
  const auto attached = static_cast<Attached>(state.range(0));
  for (auto _ : state) {
    try {
      Fail(attached);
    } catch (const BitstreamException& e) {
      benchmark::DoNotOptimize(&e);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Throw)->ArgName("attached")->DenseRange(0, 2);

class SummaryReporter : public bench_support::RunTimesReporter {
 public:
  void PrintSummary() const {
    using bench_support::FormatSeconds;
    const auto perItem = [this](const std::string& name) { return SecondsPerItem(name); };
    std::printf("\nParts of a throw in this run: call-stack capture %s; a failure thrown to the caller bare %s, "
                "with its description %s, with its description and call stack %s\n\n",
                FormatSeconds(perItem("BM_GetCallStack")).c_str(), FormatSeconds(perItem("BM_Throw/attached:0")).c_str(),
                FormatSeconds(perItem("BM_Throw/attached:1")).c_str(), FormatSeconds(perItem("BM_Throw/attached:2")).c_str());
    for (const auto& [codec, label] : {std::pair{"H264", "H.264"}, std::pair{"HEVC", "H.265"}}) {
      const double good = perItem(std::string("BM_") + codec + "GoodSPS");
      const double refused = perItem(std::string("BM_") + codec + "RefusedSPS");
      if (good == 0 || refused == 0) continue;
      // The target is a time, not a fraction of the good unit's: the target column says so.
      std::printf("| A refused %s SPS (the sample streams' SPS cut in half) | AddNALU refused %s | AddNALU of the whole SPS %s "
                  "| %.2f | refused <= 2 us %s |\n",
                  label, FormatSeconds(refused).c_str(), FormatSeconds(good).c_str(), refused / good,
                  refused <= 2e-6 ? "met" : "MISSED");
    }
  }
};

}  // namespace

int main(int argc, char** argv) { return bench_support::RunWithSummary<SummaryReporter>(argc, argv); }
