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

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The peer's H.265 parser is declared unstable API; we only time it.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth265parser.h>
#include <gst/gst.h>
#include <unistd.h>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"

#include "BenchSupport.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using Bytes = std::vector<uint8_t>;

constexpr int kAll = 0;

struct Units {
  std::vector<Bytes> streams;
  std::vector<NALU> units;                // every VPS, SPS and PPS, in stream order
  std::vector<size_t> streamOf;           // the stream of each unit
  std::vector<GstH265NalUnit> gstUnits;   // the same, identified by GStreamer

  static const Units& Get() {
    static const Units units;
    return units;
  }

  size_t Count(int kind) const {
    return static_cast<size_t>(std::count_if(units.begin(), units.end(), [&](const NALU& u) {
      return kind == kAll || HEVCNaluType(u) == static_cast<uint32_t>(kind);
    }));
  }

 private:
  Units() {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(HEVC_BENCH_DATA)) {
      if (entry.path().extension() == ".hevc") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
      std::ifstream in(path, std::ios::binary);
      streams.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    GstH265Parser* parser = gst_h265_parser_new();
    for (const Bytes& s : streams) {
      std::vector<NALU> all;
      FindAnnexBNalus(s.data(), s.size(), all);
      for (const NALU& u : all) {
        const uint32_t type = HEVCNaluType(u);
        if (type < 32 || type > 34) continue;
        units.push_back(u);
        streamOf.push_back(static_cast<size_t>(&s - streams.data()));
      }
      // The last unit of a stream has no start code after it: NO_NAL_END, filled to the end.
      guint next = 0;
      for (GstH265ParserResult result = GST_H265_PARSER_OK; result == GST_H265_PARSER_OK;) {
        GstH265NalUnit nalu;
        result = gst_h265_parser_identify_nalu(parser, s.data(), next, s.size(), &nalu);
        if (result != GST_H265_PARSER_OK && result != GST_H265_PARSER_NO_NAL_END) break;
        if (nalu.type >= GST_H265_NAL_VPS && nalu.type <= GST_H265_NAL_PPS) gstUnits.push_back(nalu);
        next = nalu.offset + nalu.size;
      }
    }
    gst_h265_parser_free(parser);
    if (units.size() != gstUnits.size()) {
      std::fprintf(stderr, "GStreamer found %zu parameter sets, we found %zu\n", gstUnits.size(), units.size());
      std::exit(1);
    }
  }
};

// Our record decodes into reused records, each against the parameter sets of its stream.
void BM_OursDecode(benchmark::State& state) {
  const Units& u = Units::Get();
  const int kind = static_cast<int>(state.range(0));
  std::vector<HEVC_PS> contexts(u.streams.size());
  for (size_t i = 0; i < u.units.size(); ++i) contexts[u.streamOf[i]].AddNALU(u.units[i]);
  auto vps = std::make_unique<HEVC_VPS>();
  auto sps = std::make_unique<HEVC_SPS>();
  auto pps = std::make_unique<HEVC_PPS>();
  for (auto _ : state) {
    for (size_t i = 0; i < u.units.size(); ++i) {
      const NALU& n = u.units[i];
      const uint32_t type = HEVCNaluType(n);
      if (kind != kAll && type != static_cast<uint32_t>(kind)) continue;
      if (type == 32) vps->Decode(n);
      if (type == 33) sps->Decode(n, contexts[u.streamOf[i]]);
      if (type == 34) pps->Decode(n, contexts[u.streamOf[i]]);
    }
    benchmark::DoNotOptimize(vps.get());
    benchmark::DoNotOptimize(sps.get());
    benchmark::DoNotOptimize(pps.get());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

// AddNALU: a new record decoded and stored in its stream's collection, replacing the one of its
// id.
void BM_OursAddNALU(benchmark::State& state) {
  const Units& u = Units::Get();
  const int kind = static_cast<int>(state.range(0));
  std::vector<HEVC_PS> contexts(u.streams.size());
  for (size_t i = 0; i < u.units.size(); ++i) contexts[u.streamOf[i]].AddNALU(u.units[i]);
  for (auto _ : state) {
    for (size_t i = 0; i < u.units.size(); ++i) {
      if (kind == kAll || HEVCNaluType(u.units[i]) == static_cast<uint32_t>(kind)) {
        contexts[u.streamOf[i]].AddNALU(u.units[i]);
      }
    }
    benchmark::DoNotOptimize(contexts.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

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
      if (kind == kAll || u.gstUnits[i].type == kind) benchmark::DoNotOptimize(parse(i));
    }
  }
  for (GstH265Parser* parser : parsers) gst_h265_parser_free(parser);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

void Kinds(benchmark::internal::Benchmark* b) {
  b->ArgName("type");
  for (int kind : {kAll, 32, 33, 34}) b->Arg(kind);
}

BENCHMARK(BM_OursDecode)->Apply(Kinds)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_OursAddNALU)->Apply(Kinds)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_GStreamerParse)->Apply(Kinds)->Unit(benchmark::kNanosecond);

// The console report, keeping each run's cost per unit for the summary.
class SummaryReporter : public bench_support::CollectingReporter {
 public:
  void Collect(const Run& run) override {
    const auto items = run.counters.find("items_per_second");
    if (items != run.counters.end() && items->second > 0) nsPerUnit[run.benchmark_name()] = 1e9 / items->second;
  }

  void PrintSummary() const {
    std::printf("\nCost per parameter set in this run (target: ours <= 1/2 of GStreamer's):\n");
    for (const auto& [kind, label] : {std::pair{"0", "all"}, {"32", "VPS"}, {"33", "SPS"}, {"34", "PPS"}}) {
      const auto find = [&, kind = kind](const std::string& name) {
        const auto it = nsPerUnit.find(name + "/type:" + kind);
        return it == nsPerUnit.end() ? 0.0 : it->second;
      };
      const double decode = find("BM_OursDecode"), add = find("BM_OursAddNALU"), gst = find("BM_GStreamerParse");
      if (gst == 0) continue;
      std::printf("  %-4s ours: decode %6.0f ns (%.2f), AddNALU %6.0f ns (%.2f); GStreamer %6.0f ns  %s\n", label,
                  decode, decode / gst, add, add / gst, gst, add <= gst / 2 ? "met" : "MISSED");
    }
  }

 private:
  std::map<std::string, double> nsPerUnit;
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
