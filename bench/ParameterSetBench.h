#pragma once
// What the parameter-set benchmarks share: the parameter sets of the sample streams of a codec,
// our AddNALU run over them, and the summary of our cost against GStreamer's.
#include <benchmark/benchmark.h>
#include <glib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

#include "BenchSupport.h"

namespace bench_support {

using Orvane::Proc::CodecParsers::NALU;

// The "type" argument that selects every kind of parameter set.
constexpr int kAllTypes = 0;

// The parameter sets of the sample streams (files of `extension` in `folder`), in stream order.
struct ParameterSetUnits {
  std::vector<std::vector<uint8_t>> streams;
  std::vector<NALU> units;
  std::vector<size_t> streamOf;  // the stream of each unit
  uint32_t (*typeOf)(const NALU&);

  ParameterSetUnits(const char* folder, const char* extension, uint32_t (*type)(const NALU&), uint32_t first,
                    uint32_t last)
      : streams(ReadStreams(folder, extension)), typeOf(type) {
    for (size_t s = 0; s < streams.size(); ++s) {
      std::vector<NALU> all;
      Orvane::Proc::CodecParsers::FindAnnexBNalus(streams[s].data(), streams[s].size(), all);
      for (const NALU& u : all) {
        if (typeOf(u) < first || typeOf(u) > last) continue;
        units.push_back(u);
        streamOf.push_back(s);
      }
    }
  }

  // Whether unit i is of `kind`, a nal_unit_type or kAllTypes.
  bool Is(size_t i, int kind) const { return kind == kAllTypes || typeOf(units[i]) == static_cast<uint32_t>(kind); }
  size_t Count(int kind) const {
    size_t n = 0;
    for (size_t i = 0; i < units.size(); ++i) n += Is(i, kind);
    return n;
  }

  // One collection per stream, holding every parameter set of its stream.
  template <class PS>
  std::vector<PS> Collections() const {
    std::vector<PS> collections(streams.size());
    for (size_t i = 0; i < units.size(); ++i) collections[streamOf[i]].AddNALU(units[i]);
    return collections;
  }
};

// The parameter sets of `units`' streams as a GStreamer parser identifies them: `identify` with its
// OK and NO_NAL_END results (the last unit of a stream has no start code after it, so it ends the
// stream), keeping the units that `wanted` accepts. They must be the same units as ours.
template <class Parser, class Unit, class Result, class Wanted>
std::vector<Unit> IdentifyWithGStreamer(const ParameterSetUnits& units, Parser* (*create)(), void (*destroy)(Parser*),
                                        Result (*identify)(Parser*, const guint8*, guint, gsize, Unit*), Result ok,
                                        Result noNalEnd, Wanted wanted) {
  std::vector<Unit> found;
  Parser* parser = create();
  for (const auto& s : units.streams) {
    guint next = 0;
    for (Result result = ok; result == ok;) {
      Unit nalu;
      result = identify(parser, s.data(), next, s.size(), &nalu);
      if (result != ok && result != noNalEnd) break;
      if (wanted(nalu)) found.push_back(nalu);
      next = nalu.offset + nalu.size;
    }
  }
  destroy(parser);
  if (found.size() != units.units.size()) {
    std::fprintf(stderr, "GStreamer found %zu parameter sets, we found %zu\n", found.size(), units.units.size());
    std::exit(1);
  }
  return found;
}

// AddNALU over the units of the kind the "type" argument selects: a new record decoded and stored
// in its stream's collection, replacing the one of its id.
template <class PS>
void RunAddNALU(benchmark::State& state, const ParameterSetUnits& u) {
  const int kind = static_cast<int>(state.range(0));
  std::vector<PS> collections = u.Collections<PS>();
  for (auto _ : state) {
    for (size_t i = 0; i < u.units.size(); ++i) {
      if (u.Is(i, kind)) collections[u.streamOf[i]].AddNALU(u.units[i]);
    }
    benchmark::DoNotOptimize(collections.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * u.Count(kind)));
}

// The report of a benchmark whose BM_OursDecode, BM_OursAddNALU and BM_GStreamerParse runs take the
// "type" argument, and its summary: our cost per unit against GStreamer's, for each (argument,
// label, GStreamer's calls) of `kinds`, with a row of the table for each.
class ParameterSetReporter : public RunTimesReporter {
 public:
  using Kind = std::tuple<std::string, std::string, std::string>;
  ParameterSetReporter(std::string codec, std::vector<Kind> kinds) : codec_(std::move(codec)), kinds_(std::move(kinds)) {}

  void PrintSummary() const {
    std::printf("\nCost per parameter set in this run (target: ours <= 1/2 of GStreamer's):\n");
    for (const auto& [kind, label, peer] : kinds_) {
      const auto find = [this, kind = kind](const std::string& name) { return SecondsPerItem(name + "/type:" + kind) * 1e9; };
      const double decode = find("BM_OursDecode"), add = find("BM_OursAddNALU"), gst = find("BM_GStreamerParse");
      if (gst == 0) continue;
      std::printf("  %-4s ours: decode %6.0f ns (%.2f), AddNALU %6.0f ns (%.2f); GStreamer %6.0f ns  %s\n", label.c_str(),
                  decode, decode / gst, add, add / gst, gst, add <= gst / 2 ? "met" : "MISSED");
    }
    for (const auto& [kind, label, peer] : kinds_) {
      const double add = SecondsPerItem("BM_OursAddNALU/type:" + kind), gst = SecondsPerItem("BM_GStreamerParse/type:" + kind);
      if (add > 0 && gst > 0)
        PrintTableRow(codec_ + " parameter sets, " + label + " (sample streams)", "AddNALU " + FormatSeconds(add),
                      peer + " " + FormatSeconds(gst), add / gst, 0.5);
    }
  }

 private:
  std::string codec_;
  std::vector<Kind> kinds_;
};

}  // namespace bench_support
