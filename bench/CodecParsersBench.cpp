// Throughput of the codec parsers' scans, RBSP copy and reads on a real x265 stream of tens of
// megabytes, next to what the same machine does in the same run: GStreamer's H.265 NAL unit
// splitter, a memchr start-code scan and a memcpy of the same buffer. After the runs a summary
// prints the ratios that matter.
//
// The stream is made with ffmpeg and x265 on first use and kept next to the binary; set
// ORVANE_BENCH_STREAM to use another Annex B H.265 file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

// The peer's H.265 parser is declared unstable API; we only time it.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth265parser.h>
#include <gst/gst.h>
#include <unistd.h>

#include "BenchSupport.h"
#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using Bytes = std::vector<uint8_t>;

// 1080p test pattern at a very low QP: about 45 MB, made in a few seconds.
constexpr const char* kMakeStream =
    "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 "
    "-frames:v 240 -pix_fmt yuv420p -c:v libx265 -preset ultrafast -x265-params qp=4:log-level=error "
    "-f hevc ";

struct Corpus {
  Bytes annexB;
  Bytes mp4;                 // the same units behind 4-byte lengths
  std::vector<NALU> units;   // of annexB
  Bytes ueCodes;             // ue(v) codes of parameter-set-like values
  uint64_t ueCount = 0;

  static const Corpus& Get() {
    static const Corpus corpus;
    return corpus;
  }

 private:
  Corpus() {
    annexB = bench_support::LoadOrMakeStream(ORVANE_BENCH_STREAM_DEFAULT, "ORVANE_BENCH_STREAM", kMakeStream);
    FindAnnexBNalus(annexB.data(), annexB.size(), units);
    mp4.reserve(annexB.size());
    for (const NALU& u : units) {
      for (int shift = 24; shift >= 0; shift -= 8) mp4.push_back(static_cast<uint8_t>(u.size >> shift));
      mp4.insert(mp4.end(), u.data, u.data + u.size);
    }
    // Mostly small values with a long tail, as in parameter sets and slice headers.
    std::mt19937 rng(1);
    std::geometric_distribution<uint32_t> small(0.3);
    H26xBitstreamBuilder b(false);
    for (ueCount = 0; ueCount < 4'000'000; ++ueCount) {
      b.AppendUE(rng() % 16 == 0 ? rng() % 100000 : small(rng));
    }
    b.AppendU64(1, 64);  // so that the last codes are never read near the end
    b.Flush();
    ueCodes.assign(b.data(), b.data() + b.BytesInBuffer());
  }
};

void SetBytes(benchmark::State& state, uint64_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_FindAnnexBNalus(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  std::vector<NALU> out;
  out.reserve(c.units.size());
  for (auto _ : state) {
    out.clear();
    FindAnnexBNalus(c.annexB.data(), c.annexB.size(), out);
    benchmark::DoNotOptimize(out.data());
  }
  if (out.size() != c.units.size()) state.SkipWithError("unit count changed");
  state.counters["units"] = static_cast<double>(out.size());
  SetBytes(state, c.annexB.size());
}

// The units GStreamer's `identify` finds from the start of `bytes`: OK for each, and NO_NAL_END for
// a last Annex B unit, which has no start code after it and runs to the end.
template <class Identify>
void GStreamerIdentify(benchmark::State& state, const Bytes& bytes, Identify identify) {
  GstH265Parser* parser = gst_h265_parser_new();
  uint64_t units = 0;
  for (auto _ : state) {
    units = 0;
    GstH265NalUnit nalu;
    for (guint offset = 0; offset < bytes.size(); offset = nalu.offset + nalu.size) {
      const GstH265ParserResult result = identify(parser, bytes.data(), offset, bytes.size(), &nalu);
      if (result != GST_H265_PARSER_OK && result != GST_H265_PARSER_NO_NAL_END) break;
      ++units;
      if (result == GST_H265_PARSER_NO_NAL_END) break;
    }
    benchmark::DoNotOptimize(units);
  }
  gst_h265_parser_free(parser);
  if (units != Corpus::Get().units.size()) state.SkipWithError("GStreamer found another number of units");
  state.counters["units"] = static_cast<double>(units);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * units));
  SetBytes(state, bytes.size());
}

void BM_GStreamerIdentifyNalu(benchmark::State& state) {
  GStreamerIdentify(state, Corpus::Get().annexB, gst_h265_parser_identify_nalu);
}

// The same units behind 4-byte lengths, as FindMP4Nalus reads them.
void BM_GStreamerIdentifyNaluHevc(benchmark::State& state) {
  GStreamerIdentify(state, Corpus::Get().mp4, [](GstH265Parser* parser, const guint8* data, guint offset, gsize size,
                                                 GstH265NalUnit* nalu) {
    return gst_h265_parser_identify_nalu_hevc(parser, data, offset, size, 4, nalu);
  });
}

// The plain way: hop to every 01 with memchr and look at the two bytes before it.
void BM_MemchrStartCodes(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  uint64_t units = 0;
  for (auto _ : state) {
    units = 0;
    const uint8_t* p = c.annexB.data() + 2;
    const uint8_t* const end = c.annexB.data() + c.annexB.size();
    while (p < end) {
      const auto* one = static_cast<const uint8_t*>(std::memchr(p, 0x01, static_cast<size_t>(end - p)));
      if (one == nullptr) break;
      if (one[-1] == 0 && one[-2] == 0) ++units;
      p = one + 1;
    }
    benchmark::DoNotOptimize(units);
  }
  state.counters["units"] = static_cast<double>(units);
  SetBytes(state, c.annexB.size());
}

void BM_Memcpy(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  Bytes copy(c.annexB.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), c.annexB.data(), c.annexB.size());
    benchmark::ClobberMemory();
  }
  SetBytes(state, c.annexB.size());
}

// The same copies as the RBSP benchmark makes, unit by unit into one reused buffer: the copy
// that RemoveEmulationPrevention would be without its search and its allocation.
void BM_MemcpyPerUnit(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  uint64_t largest = 0;
  for (const NALU& u : c.units) largest = std::max(largest, u.size);
  Bytes copy(largest);
  for (auto _ : state) {
    for (const NALU& u : c.units) {
      std::memcpy(copy.data(), u.data, u.size);
      benchmark::ClobberMemory();
    }
  }
  SetBytes(state, c.annexB.size());
}

void BM_FindMP4Nalus(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  std::vector<NALU> out;
  out.reserve(c.units.size());
  for (auto _ : state) {
    out.clear();
    FindMP4Nalus(c.mp4.data(), c.mp4.size(), out, 4);
    benchmark::DoNotOptimize(out.data());
  }
  if (out.size() != c.units.size()) state.SkipWithError("unit count changed");
  // The scan hops from length to length, so units per second say more than bytes.
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * out.size()));
  SetBytes(state, c.mp4.size());
}

// One RBSP copy per unit, as the parameter-set and slice decodes make them.
void BM_RemoveEmulationPrevention(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  uint64_t removed = 0;
  for (auto _ : state) {
    removed = 0;
    for (const NALU& u : c.units) {
      const Bytes rbsp = RemoveEmulationPrevention(u.data, u.size);
      removed += u.size - rbsp.size();
      benchmark::DoNotOptimize(rbsp.data());
    }
  }
  state.counters["removed"] = static_cast<double>(removed);
  SetBytes(state, c.annexB.size());
}

void BM_ReadUE(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  for (auto _ : state) {
    BitsReader r(c.ueCodes.data(), c.ueCodes.size());
    uint32_t sum = 0;
    for (uint64_t i = 0; i < c.ueCount; ++i) sum += r.GetUEGolomb();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.ueCount));
}

// u(n) with n running over 1 to 32, through the real stream's bytes.
void BM_ReadU(benchmark::State& state) {
  const Corpus& c = Corpus::Get();
  uint64_t reads = 0;
  for (auto _ : state) {
    BitsReader r(c.annexB.data(), c.annexB.size());
    uint32_t sum = 0;
    reads = 0;
    unsigned n = 1;
    while (r.BitsLeft() >= 32) {
      sum += r.GetBits<uint32_t>(n);
      n = n == 32 ? 1 : n + 1;
      ++reads;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * reads));
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyPerUnit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemchrStartCodes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GStreamerIdentifyNalu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAnnexBNalus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMP4Nalus)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GStreamerIdentifyNaluHevc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RemoveEmulationPrevention)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUE)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadU)->Unit(benchmark::kMillisecond);

// The console report, keeping each benchmark's throughput for the summary.
class SummaryReporter : public bench_support::CollectingReporter {
 public:
  void Collect(const Run& run) override {
    const auto bytes = run.counters.find("bytes_per_second");
    if (bytes != run.counters.end()) bytesPerSecond[run.benchmark_name()] = bytes->second;
  }

  void PrintSummary() const {
    auto rate = [this](const char* name) {
      const auto found = bytesPerSecond.find(name);
      return found == bytesPerSecond.end() ? 0.0 : found->second;
    };
    // A target of 0 marks a ratio shown for comparison only.
    auto line = [&](const char* what, const char* ours, const char* peer, double target) {
      const double a = rate(ours), b = rate(peer);
      if (a == 0 || b == 0) return;
      std::printf("  %-44s %6.2f GB/s / %6.2f GB/s = %5.2f", what, a / 1e9, b / 1e9, a / b);
      if (target > 0) std::printf("  (target %.2f: %s)", target, a / b >= target ? "met" : "MISSED");
      std::printf("\n");
    };
    std::printf("\nRatios in this run:\n");
    line("FindAnnexBNalus vs GStreamer identify_nalu", "BM_FindAnnexBNalus", "BM_GStreamerIdentifyNalu", 2.0);
    line("FindAnnexBNalus vs memcpy", "BM_FindAnnexBNalus", "BM_Memcpy", 0.75);
    line("RemoveEmulationPrevention vs memcpy", "BM_RemoveEmulationPrevention", "BM_Memcpy", 0.5);
    line("RemoveEmulationPrevention vs memcpy per unit", "BM_RemoveEmulationPrevention", "BM_MemcpyPerUnit", 0.0);
    line("FindAnnexBNalus vs memchr start-code scan", "BM_FindAnnexBNalus", "BM_MemchrStartCodes", 0.0);
    line("memchr start-code scan vs memcpy", "BM_MemchrStartCodes", "BM_Memcpy", 0.0);

    // The table's rows: time against time, so a throughput target of k becomes a fraction of 1/k.
    char stream[64];
    std::snprintf(stream, sizeof stream, " (x265 1080p, %.0f MB)", static_cast<double>(Corpus::Get().annexB.size()) / 1e6);
    // A length-prefixed scan hops from length to length, so its figure is a pass over the stream.
    const auto row = [&](const std::string& family, const char* ours, const char* oursLabel, const char* peer,
                         const char* peerLabel, double largestAllowed) {
      const double a = rate(ours), b = rate(peer);
      if (a == 0 || b == 0) return;
      const bool hops = std::string(ours) == "BM_FindMP4Nalus";
      const auto figure = [&](const char* label, double bytesPerSecond) {
        if (hops) return label + (" " + bench_support::FormatSeconds(static_cast<double>(Corpus::Get().mp4.size()) / bytesPerSecond));
        char text[96];
        std::snprintf(text, sizeof text, "%s %.2f GB/s", label, bytesPerSecond / 1e9);
        return std::string(text);
      };
      bench_support::PrintTableRow(family + stream, figure(oursLabel, a), figure(peerLabel, b), b / a, largestAllowed);
    };
    row("NAL unit scan, Annex B", "BM_FindAnnexBNalus", "FindAnnexBNalus", "BM_GStreamerIdentifyNalu",
        "gst_h265_parser_identify_nalu", 0.5);
    row("NAL unit scan, 4-byte lengths, a pass", "BM_FindMP4Nalus", "FindMP4Nalus", "BM_GStreamerIdentifyNaluHevc",
        "gst_h265_parser_identify_nalu_hevc", 0);
    row("NAL unit scan against a copy", "BM_FindAnnexBNalus", "FindAnnexBNalus", "BM_Memcpy", "memcpy", 1 / 0.75);
    row("RBSP copy against a copy", "BM_RemoveEmulationPrevention", "RemoveEmulationPrevention", "BM_Memcpy", "memcpy",
        1 / 0.5);
  }

 private:
  std::map<std::string, double> bytesPerSecond;
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  std::printf("Stream: %zu bytes, %zu NAL units\n", Corpus::Get().annexB.size(), Corpus::Get().units.size());
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
