// Cost per H.264 slice header and per SEI unit, ours against GStreamer's codecparsers
// (gst_h264_parser_parse_slice_hdr with its weight tables and reference marking, and
// gst_h264_parser_parse_sei) on the same units in the same run, over a real stream: 720p x264
// with eight slices per picture, B-pyramid over four references with list modification and marking
// operations, weighted P prediction, open GOP, NAL HRD (buffering period and picture timing in
// every access unit), mastering display and content light level SEI.
//
// Both parsers hold the stream's parameter sets before the timing, and GStreamer's units are
// identified before it too. After the runs a summary prints our cost per unit against GStreamer's.
//
// The stream is made with ffmpeg and libx264 on first use and kept next to the binary; set
// ORVANE_H264_SLICE_BENCH_STREAM to use another Annex B H.264 file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// The peer's H.264 parser is declared unstable API; we only time it.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth264parser.h>
#include <gst/gst.h>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

#include "BenchSupport.h"

namespace {

using namespace Orvane::Proc::CodecParsers;

constexpr const char* kMakeStream =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=30 "
    "-frames:v 120 -pix_fmt yuv420p -c:v libx264 -preset veryfast -b:v 3M -maxrate 4M -bufsize 8M "
    "-x264-params 'log-level=error:slices=8:bframes=3:b-pyramid=normal:ref=4:weightp=2:keyint=30:open-gop=1:"
    "nal-hrd=vbr:mastering-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1):"
    "cll=1000,400' -f h264 ";

struct Corpus {
  std::vector<uint8_t> stream;
  H264_PS ps;
  std::vector<NALU> slices, seis;
  std::vector<GstH264NalUnit> gstSlices, gstSeis;
  GstH264NalParser* gstParser = nullptr;

  static Corpus& Get() {
    static Corpus corpus;
    return corpus;
  }

 private:
  Corpus() {
    stream = bench_support::LoadOrMakeStream(ORVANE_H264_SLICE_BENCH_STREAM_DEFAULT, "ORVANE_H264_SLICE_BENCH_STREAM",
                                             kMakeStream);
    std::vector<NALU> units;
    FindAnnexBNalus(stream.data(), stream.size(), units);
    for (const NALU& u : units) {
      ps.AddNALU(u);
      const uint32_t type = H264NaluType(u);
      if (type == 1 || type == 5) slices.push_back(u);
      if (type == 6) seis.push_back(u);
    }
    // GStreamer's parser takes the parameter sets as they come; the last unit of the stream has
    // no start code after it (NO_NAL_END, filled to the end).
    gstParser = gst_h264_nal_parser_new();
    guint next = 0;
    for (GstH264ParserResult result = GST_H264_PARSER_OK; result == GST_H264_PARSER_OK;) {
      GstH264NalUnit nalu;
      result = gst_h264_parser_identify_nalu(gstParser, stream.data(), next, stream.size(), &nalu);
      if (result != GST_H264_PARSER_OK && result != GST_H264_PARSER_NO_NAL_END) break;
      next = nalu.offset + nalu.size;
      if (nalu.type == GST_H264_NAL_SPS || nalu.type == GST_H264_NAL_PPS) gst_h264_parser_parse_nal(gstParser, &nalu);
      if (nalu.type == GST_H264_NAL_SLICE || nalu.type == GST_H264_NAL_SLICE_IDR) gstSlices.push_back(nalu);
      if (nalu.type == GST_H264_NAL_SEI) gstSeis.push_back(nalu);
    }
    if (slices.size() != gstSlices.size() || seis.size() != gstSeis.size() || slices.empty() || seis.empty()) {
      std::fprintf(stderr, "GStreamer found %zu slices and %zu SEI units, we found %zu and %zu\n", gstSlices.size(),
                   gstSeis.size(), slices.size(), seis.size());
      std::exit(1);
    }
  }
};

void BM_OursDecodeSliceHeader(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  for (auto _ : state) {
    for (const NALU& n : c.slices) benchmark::DoNotOptimize(c.ps.DecodeSliceHeader(n));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.slices.size()));
}

// The whole slice, slice data copied: for scale, not a target.
void BM_OursDecodeSlice(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  for (auto _ : state) {
    for (const NALU& n : c.slices) benchmark::DoNotOptimize(c.ps.DecodeSlice(n));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.slices.size()));
}

// Into one reused structure, weight tables and reference marking parsed as ours are.
void BM_GStreamerParseSliceHdr(benchmark::State& state) {
  Corpus& c = Corpus::Get();
  GstH264SliceHdr slice;
  for (GstH264NalUnit& n : c.gstSlices) {
    if (gst_h264_parser_parse_slice_hdr(c.gstParser, &n, &slice, TRUE, TRUE) != GST_H264_PARSER_OK) {
      state.SkipWithError("GStreamer refused a slice header");
      return;
    }
  }
  for (auto _ : state) {
    for (GstH264NalUnit& n : c.gstSlices) {
      benchmark::DoNotOptimize(gst_h264_parser_parse_slice_hdr(c.gstParser, &n, &slice, TRUE, TRUE));
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.gstSlices.size()));
}

// A new list per unit, as GStreamer makes one.
void BM_OursSEIDecode(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  for (auto _ : state) {
    for (const NALU& n : c.seis) {
      H264_SEI sei;
      sei.Decode(n);
      benchmark::DoNotOptimize(sei.messages.data());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.seis.size()));
}

void BM_GStreamerParseSei(benchmark::State& state) {
  Corpus& c = Corpus::Get();
  for (auto _ : state) {
    for (GstH264NalUnit& n : c.gstSeis) {
      GArray* messages = nullptr;
      benchmark::DoNotOptimize(gst_h264_parser_parse_sei(c.gstParser, &n, &messages));
      if (messages) g_array_free(messages, TRUE);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.gstSeis.size()));
}

BENCHMARK(BM_OursDecodeSliceHeader)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDecodeSlice)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GStreamerParseSliceHdr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursSEIDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GStreamerParseSei)->Unit(benchmark::kMicrosecond);

// The console report, keeping each run's cost per unit for the summary.
class SummaryReporter : public bench_support::RunTimesReporter {
 public:
  void PrintSummary() const {
    const auto ns = [this](const char* name) { return SecondsPerItem(name) * 1e9; };
    const Corpus& c = Corpus::Get();
    const double header = ns("BM_OursDecodeSliceHeader"), slice = ns("BM_OursDecodeSlice");
    const double gstHeader = ns("BM_GStreamerParseSliceHdr"), sei = ns("BM_OursSEIDecode"), gstSei = ns("BM_GStreamerParseSei");
    std::printf("\nCost per unit over %zu slices and %zu SEI units in this run (target: ours <= 1/2 of GStreamer's):\n",
                c.slices.size(), c.seis.size());
    if (header > 0 && gstHeader > 0) {
      std::printf("  slice header: ours %.0f ns (%.2f of GStreamer's; whole slice %.0f ns), GStreamer %.0f ns  %s\n", header,
                  header / gstHeader, slice, gstHeader, header <= gstHeader / 2 ? "met" : "MISSED");
      bench_support::PrintTableRow("H.264 slice headers (x264 720p, 8 slices a picture)",
                                   "DecodeSliceHeader " + bench_support::FormatSeconds(header / 1e9),
                                   "gst_h264_parser_parse_slice_hdr " + bench_support::FormatSeconds(gstHeader / 1e9),
                                   header / gstHeader, 0.5);
    }
    if (sei > 0 && gstSei > 0) {
      std::printf("  SEI unit:     ours %.0f ns (%.2f of GStreamer's), GStreamer %.0f ns  %s\n", sei, sei / gstSei, gstSei,
                  sei <= gstSei / 2 ? "met" : "MISSED");
      bench_support::PrintTableRow("H.264 SEI units (the same stream)", "H264_SEI::Decode " + bench_support::FormatSeconds(sei / 1e9),
                                   "gst_h264_parser_parse_sei " + bench_support::FormatSeconds(gstSei / 1e9), sei / gstSei, 0.5);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
