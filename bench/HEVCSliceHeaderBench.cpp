// Cost per HEVC slice segment header, ours against GStreamer's gst_h265_parser_parse_slice_hdr on
// the same units in the same run, over a real many-slice stream: 720p x265 with twelve slices per
// picture, B-pyramid over three references, open GOP (I, P, B, CRA and RASL slices).
//
// Ours is timed twice: CreateSliceHeader, which makes a new record per header and decodes it, and
// the decode into one reused record (what GStreamer's call does with its structure). Both
// parsers hold the stream's parameter sets before the timing, and GStreamer's units are
// identified before it too. After the runs a summary prints our cost per header against
// GStreamer's.
//
// The stream is made with ffmpeg and x265 on first use and kept next to the binary; set
// ORVANE_SLICE_BENCH_STREAM to use another Annex B H.265 file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

// The peer's H.265 parser is declared unstable API; we only time it.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth265parser.h>
#include <gst/gst.h>
#include <unistd.h>

#include "BenchSupport.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using Bytes = std::vector<uint8_t>;

constexpr const char* kMakeStream =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=30 "
    "-frames:v 120 -pix_fmt yuv420p -c:v libx265 -preset veryfast "
    "-x265-params log-level=error:slices=12:bframes=4:b-pyramid=1:ref=3:keyint=30:open-gop=1 -f hevc ";

bool IsSliceType(uint32_t type) { return type <= 9 || (type >= 16 && type <= 21); }

struct Corpus {
  Bytes stream;
  HEVC_PS ps;
  std::vector<NALU> slices;
  std::vector<GstH265NalUnit> gstSlices;
  GstH265Parser* gstParser = nullptr;

  static Corpus& Get() {
    static Corpus corpus;
    return corpus;
  }

 private:
  Corpus() {
    stream = bench_support::LoadOrMakeStream(ORVANE_SLICE_BENCH_STREAM_DEFAULT, "ORVANE_SLICE_BENCH_STREAM", kMakeStream);

    std::vector<NALU> units;
    FindAnnexBNalus(stream.data(), stream.size(), units);
    for (const NALU& u : units) {
      if (u.size == 0) continue;
      ps.AddNALU(u);
      if (IsSliceType(HEVCNaluType(u))) slices.push_back(u);
    }

    // GStreamer's parser takes the parameter sets as they come; the last unit of the stream has
    // no start code after it (NO_NAL_END, filled to the end).
    gstParser = gst_h265_parser_new();
    guint next = 0;
    for (GstH265ParserResult result = GST_H265_PARSER_OK; result == GST_H265_PARSER_OK;) {
      GstH265NalUnit nalu;
      result = gst_h265_parser_identify_nalu(gstParser, stream.data(), next, stream.size(), &nalu);
      if (result != GST_H265_PARSER_OK && result != GST_H265_PARSER_NO_NAL_END) break;
      next = nalu.offset + nalu.size;
      if (nalu.type == GST_H265_NAL_VPS || nalu.type == GST_H265_NAL_SPS || nalu.type == GST_H265_NAL_PPS) {
        gst_h265_parser_parse_nal(gstParser, &nalu);
      } else if (IsSliceType(nalu.type)) {
        gstSlices.push_back(nalu);
      }
    }
    if (slices.size() != gstSlices.size() || slices.empty()) {
      std::fprintf(stderr, "GStreamer found %zu slices, we found %zu\n", gstSlices.size(), slices.size());
      std::exit(1);
    }
  }
};

// A new record per header, as CreateSliceHeader makes it.
void BM_OursCreateSliceHeader(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  for (auto _ : state) {
    for (const NALU& n : c.slices) benchmark::DoNotOptimize(CreateSliceHeader(c.ps, n));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.slices.size()));
}

// The decode into one reused record.
void BM_OursDecode(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  auto header = std::make_unique<HEVCSliceHeader>();
  for (auto _ : state) {
    for (const NALU& n : c.slices) {
      header->Decode(n, c.ps);
      benchmark::DoNotOptimize(header.get());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.slices.size()));
}

// gst_h265_parser_parse_slice_hdr into one reused structure, freed after each call as its API
// asks (it allocates the entry point offsets).
void BM_GStreamerParseSliceHdr(benchmark::State& state) {
  Corpus& c = Corpus::Get();
  GstH265SliceHdr slice;
  for (GstH265NalUnit& n : c.gstSlices) {
    if (gst_h265_parser_parse_slice_hdr(c.gstParser, &n, &slice) != GST_H265_PARSER_OK) {
      state.SkipWithError("GStreamer refused a slice header");
      return;
    }
    gst_h265_slice_hdr_free(&slice);
  }
  for (auto _ : state) {
    for (GstH265NalUnit& n : c.gstSlices) {
      benchmark::DoNotOptimize(gst_h265_parser_parse_slice_hdr(c.gstParser, &n, &slice));
      gst_h265_slice_hdr_free(&slice);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.gstSlices.size()));
}

BENCHMARK(BM_OursCreateSliceHeader)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GStreamerParseSliceHdr)->Unit(benchmark::kMicrosecond);

// The console report, keeping each run's cost per header for the summary.
class SummaryReporter : public bench_support::RunTimesReporter {
 public:
  void PrintSummary() const {
    const double create = SecondsPerItem("BM_OursCreateSliceHeader") * 1e9, decode = SecondsPerItem("BM_OursDecode") * 1e9;
    const double gst = SecondsPerItem("BM_GStreamerParseSliceHdr") * 1e9;
    if (gst == 0 || create == 0) return;
    std::printf("\nCost per slice header over %zu headers in this run (target: ours <= 1/2 of GStreamer's):\n",
                Corpus::Get().slices.size());
    std::printf("  ours: CreateSliceHeader %.0f ns (%.2f of GStreamer's), Decode %.0f ns (%.2f); GStreamer %.0f ns  %s\n",
                create, create / gst, decode, decode / gst, gst, create <= gst / 2 ? "met" : "MISSED");
    bench_support::PrintTableRow("H.265 slice headers (x265 720p, 12 slices a picture)",
                                 "CreateSliceHeader " + bench_support::FormatSeconds(create / 1e9),
                                 "gst_h265_parser_parse_slice_hdr " + bench_support::FormatSeconds(gst / 1e9), create / gst, 0.5);
  }
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
