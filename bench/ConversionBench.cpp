// Every packet of a 1080p MP4 stream of tens of megabytes converted from 4-byte lengths to Annex B
// with ConvertPacketFromSourceToDestinationFormat, against FFmpeg's h264_mp4toannexb and
// hevc_mp4toannexb bitstream filters (libavcodec's av_bsf_* API) over the same packets in the same
// run; and back from Annex B to 4-byte lengths. Beside them, one memcpy of every packet's bytes:
// the floor for a conversion that copies each unit once. After the runs a summary prints the
// ratios. GStreamer's codecparsers library has no packet conversion (its h264parse and h265parse
// elements convert in code of their own), so FFmpeg's filters are the peer here.
//
// The streams (x264 and x265 in MP4) are made with ffmpeg on first use and kept next to the
// binary; ORVANE_CONVERSION_BENCH_H264 and ORVANE_CONVERSION_BENCH_HEVC name other MP4 files.
#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/bsf.h>
}

#include "Mp4Tracks.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"

namespace {

using namespace Orvane::Proc::CodecParsers;

using bench_support::H264Track;
using bench_support::HEVCTrack;
using bench_support::PacketPtr;
using bench_support::Track;

template <class Parser>
void OursToAnnexB(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  const auto lengthPrefixed = bench_support::Configuration<Parser>(track);
  const auto annexB = lengthPrefixed->ToAnnexB();
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) {
      benchmark::DoNotOptimize(ConvertPacketFromSourceToDestinationFormat(packet, lengthPrefixed, annexB, nullptr));
    }
  }
  bench_support::CountTrack(state, track);
}

template <class Parser>
void OursToLengthPrefixed(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  const auto lengthPrefixed = bench_support::Configuration<Parser>(track);
  const auto annexB = lengthPrefixed->ToAnnexB();
  std::vector<PacketPtr> packets;
  for (const PacketPtr& packet : track.packets) {
    packets.push_back(ConvertPacketFromSourceToDestinationFormat(packet, lengthPrefixed, annexB, nullptr));
  }
  for (auto _ : state) {
    for (const PacketPtr& packet : packets) {
      benchmark::DoNotOptimize(ConvertPacketFromSourceToDestinationFormat(packet, annexB, lengthPrefixed, nullptr));
    }
  }
  bench_support::CountTrack(state, track);
}

void FFmpegToAnnexB(benchmark::State& state, const Track& (*stream)(), const char* filterName) {
  const Track& track = stream();
  AVBSFContext* bsf = nullptr;
  av_bsf_alloc(av_bsf_get_by_name(filterName), &bsf);
  avcodec_parameters_copy(bsf->par_in, track.par);
  if (av_bsf_init(bsf) < 0) state.SkipWithError("av_bsf_init failed");
  AVPacket* p = av_packet_alloc();
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) {
      av_packet_ref(p, packet->GetAVPacket());
      if (av_bsf_send_packet(bsf, p) < 0 || av_bsf_receive_packet(bsf, p) < 0) state.SkipWithError("filter failed");
      benchmark::DoNotOptimize(p->data);
      av_packet_unref(p);
    }
  }
  av_packet_free(&p);
  av_bsf_free(&bsf);
  bench_support::CountTrack(state, track);
}

// Every packet's bytes copied once into a new packet: what any conversion must at least do.
void CopyOnce(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) {
      const AVPacket* in = packet->GetAVPacket();
      AVPacket* out = Orvane::Proc::CreatePacket(static_cast<size_t>(in->size));
      std::memcpy(out->data, in->data, static_cast<size_t>(in->size));
      benchmark::DoNotOptimize(out->data);
      av_packet_free(&out);
    }
  }
  bench_support::CountTrack(state, track);
}

class SummaryReporter : public bench_support::CollectingReporter {
 public:
  // Of repeated runs, the median is kept.
  void Collect(const Run& run) override {
    if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") return;
    const std::string name = run.run_name.function_name;
    if (run.run_type == Run::RT_Aggregate || !seconds_.contains(name)) seconds_[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
  }
  void PrintSummary() const {
    for (const std::string codec : {"h264", "hevc"}) {
      const auto ffmpeg = Time("FFmpegToAnnexB/" + codec);
      if (ffmpeg.first == 0) continue;
      std::cout << codec << ", against FFmpeg's " << codec << "_mp4toannexb (real time; CPU time):";
      for (const char* name : {"OursToAnnexB", "OursToLengthPrefixed", "CopyOnce"}) {
        const auto ours = Time(name + ("/" + codec));
        if (ours.first > 0) std::cout << "\n  " << name << " " << ours.first / ffmpeg.first << "; " << ours.second / ffmpeg.second;
      }
      std::cout << "\n  (target: OursToAnnexB at most 1)\n";
    }
    // The table's rows, in CPU time per pass over every packet of the track.
    for (const auto& [codec, family] : {std::pair("h264", "Packets to Annex B, H.264 (x264 1080p MP4)"),
                                        std::pair("hevc", "Packets to Annex B, H.265 (x265 1080p MP4)")}) {
      const double ours = Time(std::string("OursToAnnexB/") + codec).second / 1e3;
      const double ffmpeg = Time(std::string("FFmpegToAnnexB/") + codec).second / 1e3;
      if (ours > 0 && ffmpeg > 0)
        bench_support::PrintTableRow(family, "ConvertPacketFromSourceToDestinationFormat " + bench_support::FormatSeconds(ours),
                                     "FFmpeg's " + std::string(codec) + "_mp4toannexb " + bench_support::FormatSeconds(ffmpeg),
                                     ours / ffmpeg, 1);
    }
  }

 private:
  std::pair<double, double> Time(const std::string& name) const {
    const auto it = seconds_.find(name);
    return it == seconds_.end() ? std::pair(0.0, 0.0) : it->second;
  }
  std::map<std::string, std::pair<double, double>> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  const auto add = [](const std::string& name, auto function, auto... arguments) {
    benchmark::RegisterBenchmark(name.c_str(), function, arguments...)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  add("OursToAnnexB/h264", OursToAnnexB<H264Parser>, &H264Track);
  add("FFmpegToAnnexB/h264", FFmpegToAnnexB, &H264Track, "h264_mp4toannexb");
  add("OursToLengthPrefixed/h264", OursToLengthPrefixed<H264Parser>, &H264Track);
  add("CopyOnce/h264", CopyOnce, &H264Track);
  add("OursToAnnexB/hevc", OursToAnnexB<HEVCParser>, &HEVCTrack);
  add("FFmpegToAnnexB/hevc", FFmpegToAnnexB, &HEVCTrack, "hevc_mp4toannexb");
  add("OursToLengthPrefixed/hevc", OursToLengthPrefixed<HEVCParser>, &HEVCTrack);
  add("CopyOnce/hevc", CopyOnce, &HEVCTrack);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
