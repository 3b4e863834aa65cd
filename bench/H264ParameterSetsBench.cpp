// Cost per H.264 parameter set: the SPS and PPS units of the sample streams in tests/data/h264
// (Baseline to High 4:4:4, 8 and 10 bits, interlaced, HRD, scaling matrices), decoded by us and by
// GStreamer's codecparsers (gst_h264_parser_parse_sps / _pps) in the same run. After the runs a
// summary prints our cost per unit against GStreamer's, kind by kind.
//
// Ours is timed twice: the record decode into a record that is reused (what GStreamer's parse
// calls do with their structures), and H264_PS::AddNALU, which also makes the record and stores
// it. GStreamer's units are identified before the timing, and its parser holds every parameter
// set of the run so that lookups succeed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

// The peer's H.264 parser is declared unstable API; we only time it.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth264parser.h>
#include <gst/gst.h>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

#include "ParameterSetBench.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using bench_support::kAllTypes;

struct Units : bench_support::ParameterSetUnits {
  std::vector<GstH264NalUnit> gstUnits;  // the same units, identified by GStreamer

  static const Units& Get() {
    static const Units units;
    return units;
  }

 private:
  Units() : ParameterSetUnits(H264_BENCH_DATA, ".h264", H264NaluType, 7, 8) {
    gstUnits = bench_support::IdentifyWithGStreamer(
        *this, gst_h264_nal_parser_new, gst_h264_nal_parser_free, gst_h264_parser_identify_nalu, GST_H264_PARSER_OK,
        GST_H264_PARSER_NO_NAL_END, [](const GstH264NalUnit& n) { return n.type == GST_H264_NAL_SPS || n.type == GST_H264_NAL_PPS; });
  }
};

// Our record decodes into reused records, each PPS against the parameter sets of its stream.
void BM_OursDecode(benchmark::State& state) {
  const Units& u = Units::Get();
  const int kind = static_cast<int>(state.range(0));
  const std::vector<H264_PS> collections = u.Collections<H264_PS>();
  auto sps = std::make_unique<H264_SPS>();
  auto pps = std::make_unique<H264_PPS>();
  for (auto _ : state) {
    for (size_t i = 0; i < u.units.size(); ++i) {
      if (!u.Is(i, kind)) continue;
      if (H264NaluType(u.units[i]) == 7) sps->Decode(u.units[i]);
      if (H264NaluType(u.units[i]) == 8) pps->Decode(u.units[i], collections[u.streamOf[i]]);
    }
    benchmark::DoNotOptimize(sps.get());
    benchmark::DoNotOptimize(pps.get());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

void BM_OursAddNALU(benchmark::State& state) { bench_support::RunAddNALU<H264_PS>(state, Units::Get()); }

// gst_h264_parser_parse_sps/_pps on the same units, a parser per stream. A parsed PPS is cleared
// after each parse, as its owner must do (it frees the slice group map, which none of these have).
void BM_GStreamerParse(benchmark::State& state) {
  Units& u = const_cast<Units&>(Units::Get());
  const int kind = static_cast<int>(state.range(0));
  std::vector<GstH264NalParser*> parsers;
  for (size_t i = 0; i < u.streams.size(); ++i) parsers.push_back(gst_h264_nal_parser_new());
  auto sps = std::make_unique<GstH264SPS>();
  auto pps = std::make_unique<GstH264PPS>();
  const auto parse = [&](size_t i) {
    GstH264NalUnit* n = &u.gstUnits[i];
    GstH264NalParser* parser = parsers[u.streamOf[i]];
    if (n->type == GST_H264_NAL_SPS) return gst_h264_parser_parse_sps(parser, n, sps.get());
    const GstH264ParserResult result = gst_h264_parser_parse_pps(parser, n, pps.get());
    gst_h264_pps_clear(pps.get());
    return result;
  };
  for (size_t i = 0; i < u.gstUnits.size(); ++i) {
    if (parse(i) != GST_H264_PARSER_OK) state.SkipWithError("GStreamer refused a unit");
  }
  for (auto _ : state) {
    for (size_t i = 0; i < u.gstUnits.size(); ++i) {
      if (kind == kAllTypes || u.gstUnits[i].type == kind) benchmark::DoNotOptimize(parse(i));
    }
  }
  for (GstH264NalParser* parser : parsers) gst_h264_nal_parser_free(parser);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

void Kinds(benchmark::internal::Benchmark* b) {
  b->ArgName("type");
  for (int kind : {kAllTypes, 7, 8}) b->Arg(kind);
}

BENCHMARK(BM_OursDecode)->Apply(Kinds)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_OursAddNALU)->Apply(Kinds)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_GStreamerParse)->Apply(Kinds)->Unit(benchmark::kNanosecond);

class SummaryReporter : public bench_support::ParameterSetReporter {
 public:
  SummaryReporter() : ParameterSetReporter("H.264", {{"0", "all", "gst_h264_parser_parse_sps/pps"},
                                                       {"7", "SPS", "gst_h264_parser_parse_sps"},
                                                       {"8", "PPS", "gst_h264_parser_parse_pps"}}) {}
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
