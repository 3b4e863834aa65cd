// Packets converted between framings, with FFmpeg as the oracle: each sample stream in an MP4 that
// ffmpeg writes, its in-band parameter sets filtered out and its user data SEI replaced by filler
// data, is converted packet by packet to Annex B, to 2-byte and 4-byte lengths behind our own
// records (MP4s written by libavformat) and to Annex B again. Every stage decodes to the MP4's
// frames, and the first holds the units of FFmpeg's mp4toannexb filters wherever both put the
// configuration alike.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"
#include "support/FramingKit.h"
#include "support/HEVCStreams.h"
#include "support/HostFakes.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;
using PacketPtr = boost::intrusive_ptr<Orvane::Proc::IDataPacket>;

struct Track {
  std::shared_ptr<AVCodecParameters> par{avcodec_parameters_alloc(), [](AVCodecParameters* p) { avcodec_parameters_free(&p); }};
  AVRational timeBase{};
  std::vector<PacketPtr> packets;
};

Track Demux(const std::string& path) {
  AVFormatContext* in = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "ignore_editlist", "1", 0);
  EXPECT_EQ(avformat_open_input(&in, path.c_str(), nullptr, &options), 0);
  av_dict_free(&options);
  Track track{.timeBase = in->streams[0]->time_base, .packets = {}};
  avcodec_parameters_copy(track.par.get(), in->streams[0]->codecpar);
  for (AVPacket* p = av_packet_alloc(); av_read_frame(in, p) == 0 || (av_packet_free(&p), false); p = av_packet_alloc())
    track.packets.push_back(Orvane::Proc::DataPacketFF::Create(p, 1, p->pts, p->dts, p->duration));
  avformat_close_input(&in);
  return track;
}

// An MP4 of the track's packets behind `record`, the configuration that frames them.
void Mux(const std::string& path, const Track& track, const ConstBlobPtr& record) {
  AVFormatContext* out = nullptr;
  avformat_alloc_output_context2(&out, nullptr, "mp4", path.c_str());
  AVCodecParameters* par = avformat_new_stream(out, nullptr)->codecpar;
  avcodec_parameters_copy(par, track.par.get());
  av_freep(&par->extradata);
  par->extradata = static_cast<uint8_t*>(av_mallocz(record->GetSize() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy_n(record->GetData(), par->extradata_size = static_cast<int>(record->GetSize()), par->extradata);
  out->streams[0]->time_base = track.timeBase;
  avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE);
  EXPECT_EQ(avformat_write_header(out, nullptr), 0);
  for (const PacketPtr& packet : track.packets) {
    AVPacket* p = av_packet_clone(packet->GetAVPacket());
    av_packet_rescale_ts(p, track.timeBase, out->streams[0]->time_base);
    EXPECT_EQ(av_interleaved_write_frame(out, p), 0);
    av_packet_free(&p);
  }
  av_write_trailer(out);
  avio_closep(&out->pb);
  avformat_free_context(out);
}

Units AnnexBUnits(const uint8_t* data, size_t size) {
  std::vector<NALU> nalus;
  FindAnnexBNalus(data, size, nalus);
  return UnitsOf(nalus);
}

std::vector<Units> FFmpegAnnexB(const Track& track, const char* filterName) {
  AVBSFContext* bsf = nullptr;
  av_bsf_alloc(av_bsf_get_by_name(filterName), &bsf);
  avcodec_parameters_copy(bsf->par_in, track.par.get());
  EXPECT_EQ(av_bsf_init(bsf), 0);
  std::vector<Units> packets;
  for (AVPacket* p = av_packet_alloc(); packets.size() < track.packets.size() || (av_packet_free(&p), false); av_packet_unref(p)) {
    av_packet_ref(p, track.packets[packets.size()]->GetAVPacket());
    EXPECT_EQ(av_bsf_send_packet(bsf, p), 0);
    EXPECT_EQ(av_bsf_receive_packet(bsf, p), 0);
    packets.push_back(AnnexBUnits(p->data, static_cast<size_t>(p->size)));
  }
  av_bsf_free(&bsf);
  return packets;
}

struct Codec {
  const char* filterName;
  uint32_t (*type)(const NALU&);
  uint32_t randomAccess[2], parameterSets[2], sei, filler;  // nal_unit_types
  size_t recordHead;  // the bytes of a 4-byte configuration record that only its parameter sets decide
  bool Is(const NALU& n, const uint32_t (&range)[2]) const { return type(n) >= range[0] && type(n) <= range[1]; }
};

// Returns how many packets were compared with FFmpeg's, and counts the filler units they held.
template <class Parser>
size_t RoundTrip(const std::filesystem::path& stream, const Codec& codec, size_t& fillers) {
  SCOPED_TRACE(stream.filename());
  testing_support::TempDir dir;
  const std::string mp4 = (dir / "source.mp4").string();
  testing_support::RunCommand("ffmpeg -nostdin -v error -r 25 -i '" + stream.string() + "' -c copy '" + mp4 + "'");
  const std::vector<std::string> frames = testing_support::FrameDigests(mp4);
  EXPECT_FALSE(frames.empty());
  Track track = Demux(mp4);
  const auto mp4Config = Parser::CreateFromCodecConfiguration(Orvane::Proc::BlobFF::Create(track.par->extradata, track.par->extradata_size));
  const NaluFilter filter = [&](const NALU& n, H26xBitstreamBuilder& b) {
    // Encoder version strings (user data SEI) become filler data, which decoders skip too; its
    // 00 00 01 gets an emulation-prevention byte.
    if (codec.type(n) == codec.sei && n.size > 3 && n.data[codec.sei == 6 ? 1 : 2] == 5) {
      codec.filler == 12 ? b.BeginNALU(12, 0) : b.BeginNALU(38);
      b.AppendU64(1, 24);
      b.FinishNALU();
    }
    return codec.Is(n, codec.parameterSets) ? 0 : 1;
  };
  for (PacketPtr& p : track.packets) p = ConvertPacketFromSourceToDestinationFormat(p, mp4Config, mp4Config, filter);
  const std::vector<Units> theirs = FFmpegAnnexB(track, codec.filterName);
  for (const Units& packet : theirs) fillers += std::ranges::count_if(packet, [&](const Bytes& u) { return codec.type({u.data(), u.size()}) == codec.filler; });

  const auto annexB = mp4Config->ToAnnexB();
  const ConstBlobPtr twoByte = MakeLengthPrefixedBlob(annexB->nalus(), 2);
  const auto fourByte = Parser::CreateFromAnnexB(annexB->source()->GetData(), annexB->source()->GetSize());
  EXPECT_EQ(Bytes(fourByte->source()->GetData(), fourByte->source()->GetData() + codec.recordHead),
            Bytes(track.par->extradata, track.par->extradata + codec.recordHead));  // as ffmpeg wrote it
  const std::pair<const char*, std::shared_ptr<Parser>> stages[] = {
      {"annexb.raw", annexB},
      {"2-byte.mp4", Parser::CreateFromLengthPrefixed(twoByte->GetData(), twoByte->GetSize(), 2)},
      {"4-byte.mp4", fourByte},
      {"again.raw", annexB}};
  std::shared_ptr<Parser> from = mp4Config;
  size_t compared = 0;
  for (const auto& [name, to] : stages) {
    SCOPED_TRACE(name);
    std::ofstream raw((dir / name).string(), std::ios::binary);
    for (size_t i = 0; i < track.packets.size(); ++i) {
      const PacketPtr in = track.packets[i];
      const auto source = from->ParsePacket(in->GetBlob());
      const auto& units = source->nalus();
      const bool ra = std::any_of(units.begin(), units.end(), [&](const NALU& n) { return codec.Is(n, codec.randomAccess); });
      EXPECT_EQ((source->GetPictureFlags() & PICTURE_RANDOM_ACCESS) != 0, ra);
      const PacketPtr out = track.packets[i] = ConvertPacketFromSourceToDestinationFormat(in, from, to, nullptr);
      EXPECT_EQ(std::tuple(out->GetPts(), out->GetDts(), out->GetDuration()), std::tuple(in->GetPts(), in->GetDts(), in->GetDuration()));
      EXPECT_EQ(ConvertPacketFromSourceToDestinationFormat(out, to, to, nullptr), out);  // framed as wanted already
      const ConstBlobPtr bytes = out->GetBlob();
      if (!to->nalLengthSize()) raw.write(reinterpret_cast<const char*>(bytes->GetData()), static_cast<std::streamsize>(bytes->GetSize()));
      // We put the configuration in front of a key frame, FFmpeg in front of the first
      // random-access unit: compare where that is the same.
      if (from != mp4Config || in->IsKeyFrame() != ra || (ra && !codec.Is(units[0], codec.randomAccess))) continue;
      EXPECT_EQ(AnnexBUnits(bytes->GetData(), bytes->GetSize()), theirs[i]) << "packet " << i;
      ++compared;
    }
    raw.close();
    if (to->nalLengthSize()) Mux((dir / name).string(), track, to->source());
    EXPECT_EQ(testing_support::FrameDigests(dir / name), frames);
    from = to;
  }
  return compared;
}

TEST(PacketConversion, SampleStreamsDecodeAlikeInEveryFraming) {
  size_t h264 = 0, hevc = 0, fillers = 0;
  for (const auto& stream : SampleStreams(H264_TEST_STREAMS, ".h264"))
    h264 += RoundTrip<H264Parser>(stream, {"h264_mp4toannexb", H264NaluType, {5, 5}, {7, 8}, 6, 12, 5}, fillers);
  for (const auto& stream : SampleStreams(HEVC_TEST_STREAMS))
    hevc += RoundTrip<HEVCParser>(stream, {"hevc_mp4toannexb", HEVCNaluType, {16, 23}, {32, 34}, 39, 38, 13}, fillers);
  EXPECT_GT(std::min(h264, hevc), 40u);
  EXPECT_GT(fillers, 10u);
}

}  // namespace
