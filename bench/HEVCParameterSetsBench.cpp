// Cost per HEVC parameter set: the VPS, SPS and PPS units of the sample streams in
// tests/data/hevc (8-, 10- and 12-bit, 4:0:0 to 4:4:4, HRD, scaling lists), decoded by us and by
// GStreamer's codecparsers in the same run. After the runs a summary prints our cost per unit
// against GStreamer's, kind by kind.
//
// Ours is timed twice: the record decode into a record that is reused (what GStreamer's parse
// calls do with their structures), and HEVC_PS::AddNALU, which also makes the record and stores
// it. GStreamer's units are identified before the timing, its parser holds every parameter set
// of the run so that lookups succeed, and the VUI is parsed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

// The peer's H.265 parser is declared unstable API; we only time it.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth265parser.h>
#include <gst/gst.h>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"

#include "ParameterSetBench.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using bench_support::kAllTypes;

struct Units : bench_support::ParameterSetUnits {
  std::vector<GstH265NalUnit> gstUnits;  // the same units, identified by GStreamer

  static const Units& Get() {
    static const Units units;
    return units;
  }

 private:
  Units() : ParameterSetUnits(HEVC_BENCH_DATA, ".hevc", HEVCNaluType, 32, 34) {
    gstUnits = bench_support::IdentifyWithGStreamer(
        *this, gst_h265_parser_new, gst_h265_parser_free, gst_h265_parser_identify_nalu, GST_H265_PARSER_OK,
        GST_H265_PARSER_NO_NAL_END, [](const GstH265NalUnit& n) { return n.type >= GST_H265_NAL_VPS && n.type <= GST_H265_NAL_PPS; });
  }
};

// Our record decodes into reused records, each against the parameter sets of its stream.
void BM_OursDecode(benchmark::State& state) {
  const Units& u = Units::Get();
  const int kind = static_cast<int>(state.range(0));
  const std::vector<HEVC_PS> collections = u.Collections<HEVC_PS>();
  auto vps = std::make_unique<HEVC_VPS>();
  auto sps = std::make_unique<HEVC_SPS>();
  auto pps = std::make_unique<HEVC_PPS>();
  for (auto _ : state) {
    for (size_t i = 0; i < u.units.size(); ++i) {
      if (!u.Is(i, kind)) continue;
      const uint32_t type = HEVCNaluType(u.units[i]);
      if (type == 32) vps->Decode(u.units[i]);
      if (type == 33) sps->Decode(u.units[i], collections[u.streamOf[i]]);
      if (type == 34) pps->Decode(u.units[i], collections[u.streamOf[i]]);
    }
    benchmark::DoNotOptimize(vps.get());
    benchmark::DoNotOptimize(sps.get());
    benchmark::DoNotOptimize(pps.get());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

void BM_OursAddNALU(benchmark::State& state) { bench_support::RunAddNALU<HEVC_PS>(state, Units::Get()); }

// gst_h265_parser_parse_vps/_sps/_pps on the same units, a parser per stream.
void BM_GStreamerParse(benchmark::State& state) {
  Units& u = const_cast<Units&>(Units::Get());
  const int kind = static_cast<int>(state.range(0));
  std::vector<GstH265Parser*> parsers;
  for (size_t i = 0; i < u.streams.size(); ++i) parsers.push_back(gst_h265_parser_new());
  auto vps = std::make_unique<GstH265VPS>();
  auto sps = std::make_unique<GstH265SPS>();
  auto pps = std::make_unique<GstH265PPS>();
  const auto parse = [&](size_t i) {
    GstH265NalUnit* n = &u.gstUnits[i];
    GstH265Parser* parser = parsers[u.streamOf[i]];
    if (n->type == GST_H265_NAL_VPS) return gst_h265_parser_parse_vps(parser, n, vps.get());
    if (n->type == GST_H265_NAL_SPS) return gst_h265_parser_parse_sps(parser, n, sps.get(), TRUE);
    return gst_h265_parser_parse_pps(parser, n, pps.get());
  };
  for (size_t i = 0; i < u.gstUnits.size(); ++i) {
    if (parse(i) != GST_H265_PARSER_OK) state.SkipWithError("GStreamer refused a unit");
  }
  for (auto _ : state) {
    for (size_t i = 0; i < u.gstUnits.size(); ++i) {
      if (kind == kAllTypes || u.gstUnits[i].type == kind) benchmark::DoNotOptimize(parse(i));
    }
  }
  for (GstH265Parser* parser : parsers) gst_h265_parser_free(parser);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

void Kinds(benchmark::internal::Benchmark* b) {
  b->ArgName("type");
  for (int kind : {kAllTypes, 32, 33, 34}) b->Arg(kind);
}

BENCHMARK(BM_OursDecode)->Apply(Kinds)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_OursAddNALU)->Apply(Kinds)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_GStreamerParse)->Apply(Kinds)->Unit(benchmark::kNanosecond);

class SummaryReporter : public bench_support::ParameterSetReporter {
 public:
  SummaryReporter() : ParameterSetReporter("H.265", {{"0", "all", "gst_h265_parser_parse_vps/sps/pps"},
                                                       {"32", "VPS", "gst_h265_parser_parse_vps"},
                                                       {"33", "SPS", "gst_h265_parser_parse_sps"},
                                                       {"34", "PPS", "gst_h265_parser_parse_pps"}}) {}
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
