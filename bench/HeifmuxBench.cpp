// heifmux as people run it, side by side in one run with what its targets are stated against:
// - an 8K intra picture of tens of MB as a raw stream: heifmux against a plain copy of the file
//   (cp) plus heifmux's fixed start-up (heifmux on a picture of a few hundred bytes), in time and
//   peak memory; and heifmux's own reading of the picture, in this process, without the plug-in;
// - --time near the end of a raw 1080p stream of about 400 MB: heifmux against
//   `ffmpeg -ss T -i IN -frames:v 1 -c copy` on the same file;
// - the check that the picture decodes on its own, on the 8K picture and on a 1080p one: heifmux
//   against heifmux --no-verify, and what the check adds against `ffmpeg -i IN -frames:v 1 -f null -`,
//   FFmpeg decoding the same picture.
// Every program runs as a child process, measured by wait4: wall time, CPU time, peak resident
// memory. The streams are made on first use beside the binary; the repetitions run interleaved.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>

#include "BenchSupport.h"
#include "heifmux/Images.h"

namespace {

constexpr const char* kMakeTinyPicture =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=64x64 -frames:v 1 "
    "-c:v libx265 -x265-params log-level=error -f hevc";
// 100 pictures of noisy 1080p (about 26 MB, an IDR every second), sixteen times over: 64 s, 410 MB.
constexpr const char* kMake1080pStream =
    "sh -c 'ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 "
    "-vf noise=alls=12:allf=t -frames:v 100 -c:v libx265 -preset ultrafast "
    "-x265-params keyint=25:qp=26:log-level=error -f hevc \"$0.one\" && "
    "for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do cat \"$0.one\"; done >\"$0\"; rm -f \"$0.one\"'";
constexpr const char* kNearTheEnd = "60";
// One picture of the noisy 1080p stream above.
constexpr const char* kMake1080pPicture =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1080 -vf noise=alls=12:allf=t "
    "-frames:v 1 -c:v libx265 -preset ultrafast -x265-params qp=26:log-level=error -f hevc";

struct Streams {
  std::filesystem::path picture8K, tiny, stream1080p, picture1080p;
  std::filesystem::path output = std::filesystem::temp_directory_path() / "orvane-heifmux-bench";

  static const Streams& Get() {
    static const Streams streams = [] {
      Streams s;
      s.picture8K = bench_support::StreamPath(ORVANE_MUX_BENCH_STREAM_DEFAULT, "ORVANE_MUX_BENCH_STREAM",
                                              bench_support::kMake8KNoisePicture);
      s.tiny = bench_support::StreamPath(ORVANE_TINY_BENCH_STREAM_DEFAULT, "ORVANE_TINY_BENCH_STREAM", kMakeTinyPicture);
      s.stream1080p = bench_support::StreamPath(ORVANE_1080P_BENCH_STREAM_DEFAULT, "ORVANE_1080P_BENCH_STREAM",
                                                kMake1080pStream);
      s.picture1080p = bench_support::StreamPath(ORVANE_1080P_BENCH_PICTURE_DEFAULT, "ORVANE_1080P_BENCH_PICTURE",
                                                 kMake1080pPicture);
      return s;
    }();
    return streams;
  }
  double PictureMB() const { return static_cast<double>(std::filesystem::file_size(picture8K)) / (1 << 20); }
};

// `HeifmuxBench --measure PROGRAM ARGUMENT...` runs the program, quiet, and prints its exit status,
// wall time, CPU time and peak memory. The benchmarks run programs through it: a program forked
// from the benchmark itself would start from the benchmark's peak memory, which a process keeps
// across exec, where one forked from this small process starts from next to nothing.
int Measure(char** program) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    execvp(program[0], program);
    _exit(127);
  }
  int status = -1;
  rusage usage{};
  if (pid > 0) wait4(pid, &status, 0, &usage);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  std::printf("%d %.6f %.6f %.3f\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall.count(),
              seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss / 1024.0);
  return 0;
}

struct Usage {
  double wallSeconds = 0, cpuSeconds = 0, peakMB = 0;
};

Usage Run(const std::vector<std::string>& arguments) {
  std::string command = "/proc/" + std::to_string(getpid()) + "/exe --measure";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  int status = -1;
  Usage usage;
  if (!pipe || std::fscanf(pipe.get(), "%d %lf %lf %lf", &status, &usage.wallSeconds, &usage.cpuSeconds,
                           &usage.peakMB) != 4 || status != 0) {
    std::cerr << arguments[0] << " failed\n";
    std::exit(1);
  }
  return usage;
}

void BM_Program(benchmark::State& state, std::vector<std::string> (*command)(const Streams&)) {
  const Streams& streams = Streams::Get();
  for (auto _ : state) {
    const Usage usage = Run(command(streams));
    state.SetIterationTime(usage.wallSeconds);
    state.counters["cpu_s"] = usage.cpuSeconds;
    state.counters["peak_MB"] = usage.peakMB;
  }
}

std::vector<std::string> Heifmux8K(const Streams& s) {
  return {HEIFMUX_PATH, s.picture8K, "-o", s.output.string() + ".heic"};
}
std::vector<std::string> Heifmux8KNoVerify(const Streams& s) {
  return {HEIFMUX_PATH, "--no-verify", s.picture8K, "-o", s.output.string() + ".heic"};
}
std::vector<std::string> FFmpegDecode8K(const Streams& s) {
  return {"ffmpeg", "-nostdin", "-loglevel", "error", "-i", s.picture8K, "-frames:v", "1", "-f", "null", "-"};
}
std::vector<std::string> Heifmux1080p(const Streams& s) {
  return {HEIFMUX_PATH, s.picture1080p, "-o", s.output.string() + ".heic"};
}
std::vector<std::string> Heifmux1080pNoVerify(const Streams& s) {
  return {HEIFMUX_PATH, "--no-verify", s.picture1080p, "-o", s.output.string() + ".heic"};
}
std::vector<std::string> FFmpegDecode1080p(const Streams& s) {
  return {"ffmpeg", "-nostdin", "-loglevel", "error", "-i", s.picture1080p, "-frames:v", "1", "-f", "null", "-"};
}
std::vector<std::string> PlainCopy8K(const Streams& s) { return {"cp", s.picture8K, s.output.string() + ".copy"}; }
std::vector<std::string> HeifmuxStartUp(const Streams& s) {
  return {HEIFMUX_PATH, s.tiny, "-o", s.output.string() + ".heic"};
}
std::vector<std::string> HeifmuxTimeNearTheEnd(const Streams& s) {
  return {HEIFMUX_PATH, "--time", kNearTheEnd, s.stream1080p, "-o", s.output.string() + ".heic"};
}
std::vector<std::string> HeifmuxTimeNearTheEndNoVerify(const Streams& s) {
  return {HEIFMUX_PATH, "--no-verify", "--time", kNearTheEnd, s.stream1080p, "-o", s.output.string() + ".heic"};
}
std::vector<std::string> FFmpegSeekNearTheEnd(const Streams& s) {
  return {"ffmpeg", "-nostdin", "-loglevel", "error", "-ss", kNearTheEnd, "-i", s.stream1080p,
          "-frames:v", "1", "-c", "copy", "-y", s.output.string() + ".hevc"};
}

// heifmux's own part on the 8K picture: reading the file, choosing the picture, the packet.
void BM_HeifmuxReading8K(benchmark::State& state) {
  const Streams& streams = Streams::Get();
  for (auto _ : state) benchmark::DoNotOptimize(heifmux::ReadImages(streams.picture8K, {}));
}

class SummaryReporter : public bench_support::CollectingReporter {
 public:
  void Collect(const Run& run) override {
    if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") return;
    Median& m = medians[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)];
    m.seconds = run.GetAdjustedRealTime() / 1e3;
    if (const auto cpu = run.counters.find("cpu_s"); cpu != run.counters.end()) m.cpuSeconds = cpu->second;
    if (const auto peak = run.counters.find("peak_MB"); peak != run.counters.end()) m.peakMB = peak->second;
  }

  void PrintSummary() const {
    const auto get = [this](const std::string& name) {
      const auto it = medians.find(name);
      return it == medians.end() ? Median{} : it->second;
    };
    const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    // The muxing path against the copy: heifmux without its decode check, which the rows after measure.
    const Median mux = get("BM_Program/Heifmux8KNoVerify"), copy = get("BM_Program/PlainCopy8K");
    const Median startUp = get("BM_Program/HeifmuxStartUp"), reading = get("BM_HeifmuxReading8K");
    const Median seek = get("BM_Program/HeifmuxTimeNearTheEnd"), ffmpeg = get("BM_Program/FFmpegSeekNearTheEnd");
    const Median seekNoVerify = get("BM_Program/HeifmuxTimeNearTheEndNoVerify");
    struct Check {
      const char* picture;
      Median with, without, ffmpeg;
    } checks[] = {
        {"raw 8K picture", get("BM_Program/Heifmux8K"), mux, get("BM_Program/FFmpegDecode8K")},
        {"raw 1080p picture", get("BM_Program/Heifmux1080p"), get("BM_Program/Heifmux1080pNoVerify"),
         get("BM_Program/FFmpegDecode1080p")},
    };
    const double picture = Streams::Get().PictureMB();
    std::printf("\nMedians in this run, wall time (CPU time):\n");
    if (mux.seconds > 0 && copy.seconds > 0 && startUp.seconds > 0) {
      const double budget = 5 * copy.seconds + startUp.seconds;
      std::printf("  8K picture, %.1f MiB: heifmux --no-verify %.3f s (%.3f), cp %.3f s (%.3f), start-up %.3f s (%.3f)\n", picture,
                  mux.seconds, mux.cpuSeconds, copy.seconds, copy.cpuSeconds, startUp.seconds, startUp.cpuSeconds);
      std::printf("    heifmux within 5 x cp + start-up = %.3f s: %.2f of it, %s\n", budget, mux.seconds / budget,
                  verdict(mux.seconds <= budget));
      if (reading.seconds > 0)
        std::printf("    its reading alone (in process) %.3f s, within 5 x cp: %.2f of it, %s\n", reading.seconds,
                    reading.seconds / (5 * copy.seconds), verdict(reading.seconds <= 5 * copy.seconds));
      std::printf("    peak memory %.1f MiB = %.2f x the picture (target 4), %s; %.1f MiB above the start-up's\n",
                  mux.peakMB, mux.peakMB / picture, verdict(mux.peakMB <= 4 * picture), mux.peakMB - startUp.peakMB);
    }
    if (seek.seconds > 0 && ffmpeg.seconds > 0)
      std::printf("  --time %s s of a raw 1080p stream: heifmux %.3f s (%.3f), ffmpeg -ss %.3f s (%.3f): %.1f x faster"
                  " (CPU %.1f x) (target 10), %s\n",
                  kNearTheEnd, seek.seconds, seek.cpuSeconds, ffmpeg.seconds, ffmpeg.cpuSeconds,
                  ffmpeg.seconds / seek.seconds, ffmpeg.cpuSeconds / seek.cpuSeconds,
                  verdict(ffmpeg.seconds >= 10 * seek.seconds));
    if (seekNoVerify.seconds > 0 && ffmpeg.seconds > 0)
      std::printf("    with --no-verify heifmux %.3f s (%.3f): %.1f x faster, %s\n", seekNoVerify.seconds,
                  seekNoVerify.cpuSeconds, ffmpeg.seconds / seekNoVerify.seconds,
                  verdict(ffmpeg.seconds >= 10 * seekNoVerify.seconds));
    for (const Check& c : checks)
      if (c.with.seconds > 0 && c.without.seconds > 0 && c.ffmpeg.seconds > 0)
        std::printf("  %s: heifmux %.3f s (%.3f), --no-verify %.3f s (%.3f): the check %.3f s (%.3f);"
                    " ffmpeg -frames:v 1 -f null %.3f s (%.3f), peak memory %.1f / %.1f / %.1f MiB\n",
                    c.picture, c.with.seconds, c.with.cpuSeconds, c.without.seconds, c.without.cpuSeconds,
                    c.with.seconds - c.without.seconds, c.with.cpuSeconds - c.without.cpuSeconds, c.ffmpeg.seconds,
                    c.ffmpeg.cpuSeconds, c.with.peakMB, c.without.peakMB, c.ffmpeg.peakMB);

    // The table's rows, in wall time of the programs (medians).
    using bench_support::FormatSeconds;
    if (mux.seconds > 0 && copy.seconds > 0 && startUp.seconds > 0) {
      const double budget = 5 * copy.seconds + startUp.seconds;
      bench_support::PrintTableRow("heifmux --no-verify, raw 8K picture (wall time)", "heifmux " + FormatSeconds(mux.seconds),
                                   "5 x cp + start-up " + FormatSeconds(budget), mux.seconds / budget, 1);
      char peak[64], picture8K[64];
      std::snprintf(peak, sizeof peak, "heifmux's peak %.0f MiB", mux.peakMB);
      std::snprintf(picture8K, sizeof picture8K, "the picture %.1f MiB", picture);
      bench_support::PrintTableRow("heifmux --no-verify, peak memory on the 8K picture", peak, picture8K,
                                   mux.peakMB / picture, 4);
    }
    if (seek.seconds > 0 && ffmpeg.seconds > 0)
      bench_support::PrintTableRow("heifmux --time near the end of 410 MB (wall time)",
                                   "heifmux " + FormatSeconds(seek.seconds), "ffmpeg -ss " + FormatSeconds(ffmpeg.seconds),
                                   seek.seconds / ffmpeg.seconds, 0.1);
    if (seekNoVerify.seconds > 0 && ffmpeg.seconds > 0)
      bench_support::PrintTableRow("heifmux --no-verify --time near the end of 410 MB (wall time)",
                                   "heifmux " + FormatSeconds(seekNoVerify.seconds),
                                   "ffmpeg -ss " + FormatSeconds(ffmpeg.seconds), seekNoVerify.seconds / ffmpeg.seconds, 0.1);
    for (const Check& c : checks)
      if (c.with.seconds > 0 && c.without.seconds > 0 && c.ffmpeg.seconds > 0)
        bench_support::PrintTableRow(std::string("heifmux's decode check, ") + c.picture + " (wall time)",
                                     "heifmux - heifmux --no-verify " + FormatSeconds(c.with.seconds - c.without.seconds),
                                     "ffmpeg -frames:v 1 -f null " + FormatSeconds(c.ffmpeg.seconds),
                                     (c.with.seconds - c.without.seconds) / c.ffmpeg.seconds);
  }

 private:
  struct Median {
    double seconds = 0, cpuSeconds = 0, peakMB = 0;
  };
  std::map<std::string, Median> medians;
};

}  // namespace

#define PROGRAM(command) \
  BENCHMARK_CAPTURE(BM_Program, command, command)->UseManualTime()->Iterations(1)->Repetitions(7)->Unit(benchmark::kMillisecond)
PROGRAM(Heifmux8K);
PROGRAM(Heifmux8KNoVerify);
PROGRAM(FFmpegDecode8K);
PROGRAM(Heifmux1080p);
PROGRAM(Heifmux1080pNoVerify);
PROGRAM(FFmpegDecode1080p);
PROGRAM(PlainCopy8K);
PROGRAM(HeifmuxStartUp);
PROGRAM(HeifmuxTimeNearTheEnd);
PROGRAM(HeifmuxTimeNearTheEndNoVerify);
PROGRAM(FFmpegSeekNearTheEnd);
BENCHMARK(BM_HeifmuxReading8K)->Repetitions(7)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--measure") return Measure(argv + 2);
  // Programs that share a machine with others are compared fairly only when their runs alternate.
  std::vector<char*> arguments(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  arguments.insert(arguments.begin() + 1, interleave);
  int count = static_cast<int>(arguments.size());
  const int status = bench_support::RunWithSummary<SummaryReporter>(count, arguments.data());
  for (const char* extension : {".heic", ".copy", ".hevc"})
    std::filesystem::remove(Streams::Get().output.string() + extension);
  return status;
}
