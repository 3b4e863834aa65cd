// The stream parsers against GStreamer's codecparsers, in the same run:
// - Decoder configuration records: H264Parser::CreateFromCodecConfiguration on the avcC records
//   written from the parameter sets of each H.264 sample stream (tests/data/h264) and on the x264
//   MP4's own, against gst_h264_parser_parse_decoder_config_record on the same bytes. Both find the
//   record's units without decoding them. HEVCParser's hvcC records (tests/data/hevc and the x265
//   MP4) are timed alone: the library of GStreamer 1.22 has no hvcC reader (its h265parse element
//   reads the record in code of its own).
// - Packets: every packet of the 1080p x264 and x265 MP4s cut into its NAL units by ParsePacket on
//   the track's configuration parser and told by GetPictureFlags, against GStreamer cutting the
//   same packets with gst_h264_parser_identify_nalu_avc / gst_h265_parser_identify_nalu_hevc and
//   telling the same flags. The NAL unit types decide for H.265; for H.264 the first I slice does,
//   and GStreamer's library reads a slice type only through the whole slice header
//   (gst_h264_parser_parse_slice_hdr, weight tables and reference marking skipped) where ours reads
//   up to slice_type, so its figure holds that work, as an application built on it would pay it.
//   Both sides' flags are compared on every packet before the timing.
// After the runs a summary prints our cost per record and per packet against GStreamer's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

// The peer's parsers are declared unstable API; we only time them.
#define GST_USE_UNSTABLE_API
#include <gst/codecparsers/gsth264parser.h>
#include <gst/codecparsers/gsth265parser.h>
#include <gst/gst.h>

#include "Mp4Tracks.h"
#include "Orvane/Proc/CodecParsers/H264Parser.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using bench_support::PacketPtr;
using bench_support::Track;
using Records = std::vector<ConstBlobPtr>;

// One record written from the parameter sets of each sample stream, and the MP4 track's.
template <class Parser>
Records MakeRecords(const char* folder, const char* extension, const Track& track) {
  Records records;
  for (const auto& stream : bench_support::ReadStreams(folder, extension))
    records.push_back(Parser::CreateFromAnnexB(stream.data(), stream.size())->source());
  records.push_back(bench_support::Configuration<Parser>(track)->source());
  return records;
}

const Records& H264Records() {
  static const Records records = MakeRecords<H264Parser>(H264_BENCH_DATA, ".h264", bench_support::H264Track());
  return records;
}

const Records& HEVCRecords() {
  static const Records records = MakeRecords<HEVCParser>(HEVC_BENCH_DATA, ".hevc", bench_support::HEVCTrack());
  return records;
}

template <class Parser>
void OursConfigurationRecord(benchmark::State& state, const Records& (*records)()) {
  const Records& all = records();
  for (auto _ : state) {
    for (const ConstBlobPtr& record : all) benchmark::DoNotOptimize(Parser::CreateFromCodecConfiguration(record));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * all.size()));
}

// Each record parsed into a new structure and freed, as its API asks.
void GStreamerConfigurationRecord(benchmark::State& state) {
  const Records& all = H264Records();
  GstH264NalParser* parser = gst_h264_nal_parser_new();
  const auto parse = [parser](const ConstBlobPtr& record) {
    GstH264DecoderConfigRecord* config = nullptr;
    const GstH264ParserResult result =
        gst_h264_parser_parse_decoder_config_record(parser, record->GetData(), record->GetSize(), &config);
    gst_h264_decoder_config_record_free(config);
    return result;
  };
  for (const ConstBlobPtr& record : all) {
    if (parse(record) != GST_H264_PARSER_OK) state.SkipWithError("GStreamer refused a record");
  }
  for (auto _ : state) {
    for (const ConstBlobPtr& record : all) benchmark::DoNotOptimize(parse(record));
  }
  gst_h264_nal_parser_free(parser);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * all.size()));
}

template <class Parser>
uint32_t OursPictureFlags(const Parser& configuration, const PacketPtr& packet) {
  return configuration.ParsePacket(packet->GetBlob())->GetPictureFlags();
}

template <class Parser>
void OursPackets(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  const auto configuration = bench_support::Configuration<Parser>(track);
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) benchmark::DoNotOptimize(OursPictureFlags(*configuration, packet));
  }
  bench_support::CountTrack(state, track);
}

// GStreamer's H.264 parser holding the track's parameter sets, and the flags it tells a packet.
class GStreamerH264 {
 public:
  explicit GStreamerH264(const Track& track) {
    GstH264DecoderConfigRecord* config = nullptr;
    if (gst_h264_parser_parse_decoder_config_record(parser_, track.par->extradata,
                                                    static_cast<gsize>(track.par->extradata_size),
                                                    &config) != GST_H264_PARSER_OK)
      return;
    lengthSize_ = static_cast<guint8>(config->length_size_minus_one + 1);
    for (GArray* units : {config->sps, config->pps}) {
      for (guint i = 0; i < units->len; ++i) gst_h264_parser_parse_nal(parser_, &g_array_index(units, GstH264NalUnit, i));
    }
    gst_h264_decoder_config_record_free(config);
  }
  ~GStreamerH264() { gst_h264_nal_parser_free(parser_); }
  GStreamerH264(const GStreamerH264&) = delete;
  GStreamerH264& operator=(const GStreamerH264&) = delete;

  uint32_t Flags(const AVPacket* packet) {
    uint32_t flags = 0;
    GstH264NalUnit nalu;
    GstH264SliceHdr slice;
    const auto size = static_cast<guint>(packet->size);
    for (guint offset = 0; offset < size; offset = nalu.offset + nalu.size) {
      if (gst_h264_parser_identify_nalu_avc(parser_, packet->data, offset, size, lengthSize_, &nalu) != GST_H264_PARSER_OK)
        break;
      if (flags != 0 || (nalu.type != GST_H264_NAL_SLICE && nalu.type != GST_H264_NAL_SLICE_IDR)) continue;
      if (gst_h264_parser_parse_slice_hdr(parser_, &nalu, &slice, FALSE, FALSE) == GST_H264_PARSER_OK &&
          GST_H264_IS_I_SLICE(&slice))
        flags = nalu.idr_pic_flag ? PICTURE_INTRA | PICTURE_RANDOM_ACCESS | PICTURE_IDR : PICTURE_INTRA;
    }
    return flags;
  }

 private:
  GstH264NalParser* parser_ = gst_h264_nal_parser_new();
  guint8 lengthSize_ = 0;
};

// GStreamer's H.265 parser with the track's length size (read by ours: GStreamer has no hvcC
// reader), and the flags it tells a packet: the first unit whose type decides.
class GStreamerHEVC {
 public:
  explicit GStreamerHEVC(const Track& track)
      : lengthSize_(static_cast<guint8>(*bench_support::Configuration<HEVCParser>(track)->nalLengthSize())) {}
  ~GStreamerHEVC() { gst_h265_parser_free(parser_); }
  GStreamerHEVC(const GStreamerHEVC&) = delete;
  GStreamerHEVC& operator=(const GStreamerHEVC&) = delete;

  uint32_t Flags(const AVPacket* packet) {
    uint32_t flags = 0;
    bool decided = false;
    GstH265NalUnit nalu;
    const auto size = static_cast<guint>(packet->size);
    for (guint offset = 0; offset < size; offset = nalu.offset + nalu.size) {
      if (gst_h265_parser_identify_nalu_hevc(parser_, packet->data, offset, size, lengthSize_, &nalu) != GST_H265_PARSER_OK)
        break;
      if (decided) continue;
      decided = true;
      if (GST_H265_IS_NAL_TYPE_IDR(nalu.type)) flags = PICTURE_INTRA | PICTURE_RANDOM_ACCESS | PICTURE_IDR;
      else if (GST_H265_IS_NAL_TYPE_IRAP(nalu.type)) flags = PICTURE_INTRA | PICTURE_RANDOM_ACCESS;
      else if (GST_H265_IS_NAL_TYPE_RADL(nalu.type)) flags = PICTURE_LEADING;
      else if (GST_H265_IS_NAL_TYPE_RASL(nalu.type)) flags = PICTURE_LEADING | PICTURE_SKIPPABLE_LEADING;
      else decided = false;
    }
    return flags;
  }

 private:
  GstH265Parser* parser_ = gst_h265_parser_new();
  guint8 lengthSize_;
};

template <class Parser, class Peer>
void GStreamerPackets(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  Peer peer(track);
  const auto configuration = bench_support::Configuration<Parser>(track);
  for (size_t i = 0; i < track.packets.size(); ++i) {
    if (peer.Flags(track.packets[i]->GetAVPacket()) != OursPictureFlags(*configuration, track.packets[i])) {
      state.SkipWithError(("GStreamer's flags differ from ours on packet " + std::to_string(i)).c_str());
      return;
    }
  }
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) benchmark::DoNotOptimize(peer.Flags(packet->GetAVPacket()));
  }
  bench_support::CountTrack(state, track);
}

class SummaryReporter : public bench_support::RunTimesReporter {
 public:
  void PrintSummary() const {
    using bench_support::FormatSeconds;
    std::printf("\nIn this run, CPU time per record and per packet:\n");
    const double avcC = SecondsPerItem("OursConfigurationRecord/h264");
    const double gstAvcC = SecondsPerItem("GStreamerConfigurationRecord/h264");
    if (avcC > 0 && gstAvcC > 0)
      bench_support::PrintTableRow("avcC record (" + std::to_string(H264Records().size()) + " records)",
                                   "CreateFromCodecConfiguration " + FormatSeconds(avcC),
                                   "parse_decoder_config_record " + FormatSeconds(gstAvcC), avcC / gstAvcC);
    if (const double hvcC = SecondsPerItem("OursConfigurationRecord/hevc"); hvcC > 0)
      bench_support::PrintTableRow("hvcC record (" + std::to_string(HEVCRecords().size()) + " records)",
                                   "CreateFromCodecConfiguration " + FormatSeconds(hvcC),
                                   "none: no hvcC reader in GStreamer 1.22's library", 0);
    for (const auto& [codec, label, peer] :
         {std::tuple("h264", "H.264 packets (x264 1080p MP4)", "identify_nalu_avc, parse_slice_hdr "),
          std::tuple("hevc", "H.265 packets (x265 1080p MP4)", "identify_nalu_hevc ")}) {
      const double ours = SecondsPerItem(std::string("OursPackets/") + codec);
      const double gst = SecondsPerItem(std::string("GStreamerPackets/") + codec);
      if (ours > 0 && gst > 0)
        bench_support::PrintTableRow(label, "ParsePacket, GetPictureFlags " + FormatSeconds(ours),
                                     peer + FormatSeconds(gst), ours / gst);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  gst_init(nullptr, nullptr);
  const auto add = [](const std::string& name, auto function, auto... arguments) {
    benchmark::RegisterBenchmark(name.c_str(), function, arguments...)->Unit(benchmark::kMicrosecond);
  };
  add("OursConfigurationRecord/h264", OursConfigurationRecord<H264Parser>, &H264Records);
  add("GStreamerConfigurationRecord/h264", GStreamerConfigurationRecord);
  add("OursConfigurationRecord/hevc", OursConfigurationRecord<HEVCParser>, &HEVCRecords);
  add("OursPackets/h264", OursPackets<H264Parser>, &bench_support::H264Track);
  add("GStreamerPackets/h264", GStreamerPackets<H264Parser, GStreamerH264>, &bench_support::H264Track);
  add("OursPackets/hevc", OursPackets<HEVCParser>, &bench_support::HEVCTrack);
  add("GStreamerPackets/hevc", GStreamerPackets<HEVCParser, GStreamerHEVC>, &bench_support::HEVCTrack);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
