// Cost per H.265 SEI unit, ours (HEVC_SEI::Decode) against GStreamer's gst_h265_parser_parse_sei on
// the same units in the same run, over a real stream: 720p x265 with HDR10 (mastering display and
// content light level), the alternative transfer characteristics, MD5 picture hashes in a suffix
// unit of every picture, recovery points, buffering period and picture timing (VUI HRD), and x265's
// information message (user data unregistered).
//
// Both parsers hold the stream's parameter sets before the timing, and GStreamer's units are
// identified before it too; each side makes a new message list per unit. After the runs a summary
// prints our cost per unit against GStreamer's.
//
// The stream is made with ffmpeg and x265 on first use and kept next to the binary; set
// ORVANE_SEI_BENCH_STREAM to use another Annex B H.265 file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The peer's H.265 parser is declared unstable API; we only time it.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth265parser.h>
#include <gst/gst.h>

#include "BenchSupport.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"

namespace {

using namespace Orvane::Proc::CodecParsers;

constexpr const char* kMakeStream =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=30 "
    "-frames:v 120 -pix_fmt yuv420p10le -c:v libx265 -preset veryfast -b:v 3M "
    "-x265-params 'log-level=error:keyint=30:repeat-headers=1:idr-recovery-sei=1:hrd=1:vbv-maxrate=4000:"
    "vbv-bufsize=8000:hash=1:atc-sei=18:colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc:"
    "master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1):max-cll=1000,400' "
    "-f hevc ";

struct Corpus {
  std::vector<uint8_t> stream;
  HEVC_PS ps;
  std::vector<NALU> seis;
  std::vector<GstH265NalUnit> gstSeis;
  GstH265Parser* gstParser = nullptr;

  static Corpus& Get() {
    static Corpus corpus;
    return corpus;
  }

 private:
  Corpus() {
    stream = bench_support::LoadOrMakeStream(ORVANE_SEI_BENCH_STREAM_DEFAULT, "ORVANE_SEI_BENCH_STREAM", kMakeStream);
    std::vector<NALU> units;
    FindAnnexBNalus(stream.data(), stream.size(), units);
    for (const NALU& u : units) {
      ps.AddNALU(u);
      const uint32_t type = HEVCNaluType(u);
      if (type == 39 || type == 40) seis.push_back(u);
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
      if (nalu.type == GST_H265_NAL_VPS || nalu.type == GST_H265_NAL_SPS || nalu.type == GST_H265_NAL_PPS)
        gst_h265_parser_parse_nal(gstParser, &nalu);
      if (nalu.type == GST_H265_NAL_PREFIX_SEI || nalu.type == GST_H265_NAL_SUFFIX_SEI) gstSeis.push_back(nalu);
    }
    if (seis.size() != gstSeis.size() || seis.empty() || ps.sps_list.empty()) {
      std::fprintf(stderr, "GStreamer found %zu SEI units, we found %zu\n", gstSeis.size(), seis.size());
      std::exit(1);
    }
  }
};

void BM_OursSEIDecode(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  const HEVC_SPS* sps = c.ps.sps_list.front().get();
  for (auto _ : state) {
    for (const NALU& n : c.seis) {
      HEVC_SEI sei;
      sei.Decode(n, sps);
      benchmark::DoNotOptimize(sei.messages.data());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.seis.size()));
}

void BM_GStreamerParseSei(benchmark::State& state) {
  Corpus& c = Corpus::Get();
  for (GstH265NalUnit& n : c.gstSeis) {
    GArray* messages = nullptr;
    if (gst_h265_parser_parse_sei(c.gstParser, &n, &messages) != GST_H265_PARSER_OK) {
      state.SkipWithError("GStreamer refused an SEI unit");
      return;
    }
    g_array_free(messages, TRUE);
  }
  for (auto _ : state) {
    for (GstH265NalUnit& n : c.gstSeis) {
      GArray* messages = nullptr;
      benchmark::DoNotOptimize(gst_h265_parser_parse_sei(c.gstParser, &n, &messages));
      if (messages) g_array_free(messages, TRUE);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.gstSeis.size()));
}

BENCHMARK(BM_OursSEIDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GStreamerParseSei)->Unit(benchmark::kMicrosecond);

class SummaryReporter : public bench_support::RunTimesReporter {
 public:
  void PrintSummary() const {
    const double ours = SecondsPerItem("BM_OursSEIDecode") * 1e9, gst = SecondsPerItem("BM_GStreamerParseSei") * 1e9;
    if (ours <= 0 || gst <= 0) return;
    std::printf("\nCost per SEI unit over %zu units in this run (target: ours <= 1/2 of GStreamer's):\n",
                Corpus::Get().seis.size());
    std::printf("  ours %.0f ns (%.2f of GStreamer's), GStreamer %.0f ns  %s\n", ours, ours / gst, gst,
                ours <= gst / 2 ? "met" : "MISSED");
    bench_support::PrintTableRow("H.265 SEI units (x265 720p HDR10, MD5 hashes)",
                                 "HEVC_SEI::Decode " + bench_support::FormatSeconds(ours / 1e9),
                                 "gst_h265_parser_parse_sei " + bench_support::FormatSeconds(gst / 1e9), ours / gst, 0.5);
  }
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
