// h26x-inspect's JSON listing of a 1080p x265 stream of tens of megabytes against FFmpeg's
// trace_headers over the same file, and its summary against ffprobe's stream description with a
// packet count, all as the programs people run, in the same run. After the runs a summary prints
// the ratios.
//
// The stream is made with ffmpeg and x265 on first use and kept next to the binary; set
// ORVANE_INSPECT_BENCH_STREAM to use another Annex B H.265 file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "BenchSupport.h"

namespace {

// 40 seconds of 1080p at 30 pictures a second and 8 Mbit/s, with B-pyramids and a key frame every
// two seconds: about 40 MB and some 1200 slice headers.
constexpr const char* kMakeStream =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 "
    "-frames:v 1200 -pix_fmt yuv420p -c:v libx265 -preset ultrafast -b:v 8M "
    "-x265-params log-level=error:keyint=60:bframes=3:b-pyramid=1 -f hevc ";

const std::string& Stream() {
  static const std::string path = [] {
    return bench_support::StreamPath(ORVANE_INSPECT_BENCH_STREAM_DEFAULT, "ORVANE_INSPECT_BENCH_STREAM", kMakeStream)
        .string();
  }();
  return path;
}

void RunCommand(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(Stream())));
}

void BM_InspectJson(benchmark::State& state) {
  RunCommand(state, std::string(INSPECT_PATH) + " --json '" + Stream() + "' >/dev/null");
}

void BM_FFmpegTraceHeaders(benchmark::State& state) {
  RunCommand(state, "ffmpeg -nostdin -i '" + Stream() + "' -c copy -bsf:v trace_headers -f null - 2>/dev/null");
}

void BM_InspectSummary(benchmark::State& state) {
  RunCommand(state, std::string(INSPECT_PATH) + " --summary '" + Stream() + "' >/dev/null");
}

void BM_FFprobeShowStreams(benchmark::State& state) {
  RunCommand(state, "ffprobe -v error -count_packets -show_streams '" + Stream() + "' >/dev/null");
}

class SummaryReporter : public bench_support::RunTimesReporter {
 public:
  void PrintSummary() const {
    // Real time: all are child processes, whose CPU time this process does not see.
    const double ours = RealSeconds("InspectJson/iterations:3/real_time");
    const double peer = RealSeconds("FFmpegTraceHeaders/iterations:3/real_time");
    if (ours > 0 && peer > 0) {
      std::cout << "\nh26x-inspect --json takes " << ours / peer
                << " of the time of FFmpeg's trace_headers on the same stream (target: at most 1)\n";
      bench_support::PrintTableRow("h26x-inspect (x265 1080p, 40 MB; real time)",
                                   "h26x-inspect --json " + bench_support::FormatSeconds(ours),
                                   "ffmpeg -bsf:v trace_headers " + bench_support::FormatSeconds(peer), ours / peer, 1);
    }
    const double summary = RealSeconds("InspectSummary/iterations:3/real_time");
    const double probe = RealSeconds("FFprobeShowStreams/iterations:3/real_time");
    if (summary > 0 && probe > 0) {
      bench_support::PrintTableRow("h26x-inspect --summary (x265 1080p, 40 MB; real time)",
                                   "h26x-inspect --summary " + bench_support::FormatSeconds(summary),
                                   "ffprobe -count_packets -show_streams " + bench_support::FormatSeconds(probe),
                                   summary / probe, 1);
    }
  }
};

}  // namespace

BENCHMARK(BM_InspectJson)->Name("InspectJson")->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FFmpegTraceHeaders)->Name("FFmpegTraceHeaders")->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InspectSummary)->Name("InspectSummary")->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FFprobeShowStreams)->Name("FFprobeShowStreams")->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return bench_support::RunWithSummary<SummaryReporter>(argc, argv); }
