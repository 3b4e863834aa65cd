#pragma once
// What the benchmarks share: inputs too large to keep in the repository, made with ffmpeg/x265 on
// first use and kept beside the benchmark binary, and a run that ends with the ratios the
// targets are stated in.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace bench_support {

// An 8K intra picture of noise coded by x265 at QP 0 (tens of MB), as a raw stream.
constexpr const char* kMake8KNoisePicture =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
    "-i \"nullsrc=s=7680x4320,format=gray,geq=lum='random(1)*255'\" -vf format=yuv420p -frames:v 1 "
    "-c:v libx265 -preset ultrafast -x265-params qp=0:log-level=error -f hevc";

// `defaultPath`, or the path the environment variable `overrideVariable` names. A missing file is
// made first by `command`, which takes the output path as its last argument.
inline std::filesystem::path StreamPath(const char* defaultPath, const char* overrideVariable, const char* command) {
  std::filesystem::path path = defaultPath;
  if (const char* env = std::getenv(overrideVariable)) path = env;
  if (!std::filesystem::exists(path)) {
    std::cerr << "Making the benchmark stream " << path << " with ffmpeg and x265...\n";
    const std::string partial = path.string() + ".partial";
    if (std::system((std::string(command) + " '" + partial + "'").c_str()) != 0) {
      std::cerr << "ffmpeg failed\n";
      std::exit(1);
    }
    std::filesystem::rename(partial, path);
  }
  return path;
}

// The bytes of the stream StreamPath names.
inline std::vector<uint8_t> LoadOrMakeStream(const char* defaultPath, const char* overrideVariable,
                                             const char* command) {
  std::ifstream in(StreamPath(defaultPath, overrideVariable, command), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The files of `folder` whose names end in `extension`, read whole, in name order: the sample
// streams of the tests.
inline std::vector<std::vector<uint8_t>> ReadStreams(const std::filesystem::path& folder, const std::string& extension) {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == extension) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::vector<uint8_t>> streams;
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    streams.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return streams;
}

// A duration as the table shows it: ns, us, ms or s, three significant digits.
inline std::string FormatSeconds(double seconds) {
  const char* unit = "s";
  for (const char* smaller : {"ms", "us", "ns"}) {
    if (seconds >= 1) break;
    seconds *= 1000;
    unit = smaller;
  }
  char text[32];
  std::snprintf(text, sizeof text, seconds < 10 ? "%.2f %s" : seconds < 100 ? "%.1f %s" : "%.0f %s", seconds, unit);
  return text;
}

// One row of the performance table that scripts/bench.sh gathers from every benchmark's summary:
// the family, ours and its peer with their figures in this run, ours as a fraction of the peer's
// (time against time unless the row names another measure, so below 1 is faster), and the target
// an issue set as the largest fraction allowed (0: none set). A ratio of 0 marks a family without
// a peer.
inline void PrintTableRow(const std::string& family, const std::string& ours, const std::string& peer, double ratio,
                          double largestAllowed = 0) {
  char fraction[16] = "-", target[48] = "-";
  if (ratio > 0) std::snprintf(fraction, sizeof fraction, "%.2f", ratio);
  if (largestAllowed > 0)
    std::snprintf(target, sizeof target, "<= %.2f %s", largestAllowed, ratio > 0 && ratio <= largestAllowed ? "met" : "MISSED");
  std::printf("| %s | %s | %s | %s | %s |\n", family.c_str(), ours.c_str(), peer.c_str(), fraction, target);
}

// A console reporter that hands each run that did not fail to Collect, for the summary its
// subclass prints afterwards.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (!run.error_occurred) Collect(run);
  }

 protected:
  virtual void Collect(const Run& run) = 0;
};

// A collecting reporter that keeps, by benchmark name, each run's real time per iteration and its
// CPU time per item (from its items per second), for summaries of programs against programs and
// of cost per unit, record or packet. Both are 0 for a run that is missing or failed.
class RunTimesReporter : public CollectingReporter {
 protected:
  void Collect(const Run& run) override {
    if (run.run_type == Run::RT_Aggregate || run.iterations == 0) return;
    realSeconds_[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
    const auto items = run.counters.find("items_per_second");
    if (items != run.counters.end() && items->second > 0) secondsPerItem_[run.benchmark_name()] = 1 / items->second;
  }
  double RealSeconds(const std::string& name) const { return Find(realSeconds_, name); }
  double SecondsPerItem(const std::string& name) const { return Find(secondsPerItem_, name); }

 private:
  static double Find(const std::map<std::string, double>& times, const std::string& name) {
    const auto it = times.find(name);
    return it == times.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> realSeconds_, secondsPerItem_;
};

// Runs the benchmarks the command line selects through `Reporter`, a ConsoleReporter that also
// collects the figures its PrintSummary() compares afterwards.
template <class Reporter>
int RunWithSummary(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench_support
