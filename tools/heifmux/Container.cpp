// Containers (MP4/MOV, Matroska, MPEG-TS, ...) through libavformat. Every packet of an HEVC stream
// is looked at with the codec parsers, since the container's key-frame flag is not always there
// (MPEG-TS) or not always a random-access picture; with --time the file is first sought close to
// the time, where the container allows it, so that a long file is not read from its start.
#include <stdexcept>

extern "C" {
#include <libavformat/avformat.h>
}

#include "FormatLibrary.h"
#include "Images.h"

namespace heifmux {
namespace {

// How far before the wanted time a seek lands: a random-access picture is decoded, and so stored,
// before the pictures that precede it in output order, by less than this.
constexpr int64_t kSeekMarginUs = 1000000;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// One HEVC stream as it is read.
struct Stream {
  Stream(const AVStream* stream, std::string name, const PictureChoice& choice)
      : st(stream), origin(std::move(name)), counter(choice) {}
  const AVStream* st;
  std::string origin;
  std::shared_ptr<cp::HEVCParser> framing;  // its packets' framing, from the configuration
  ParameterSetsInForce parameterSets;       // the container's configuration, updated by the packets'
  RandomAccessCounter counter;
  uint64_t packets = 0;
  bool sawPacket = false;
  std::optional<Image> image;  // once taken, the stream is read on to its next packet, if any
};

// The packet's presentation time from the start of the input (its decoding time where it has no
// presentation time); absent where it has neither.
std::optional<int64_t> TimeUs(const AVPacket& packet, const AVStream& st, int64_t startUs) {
  const int64_t ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
  if (ts == AV_NOPTS_VALUE) return std::nullopt;
  return av_rescale_q(ts, st.time_base, AV_TIME_BASE_Q) - startUs;
}

// Reads the images; `seek` lets it start near the wanted time. Returns nothing when a seek may
// have passed over the wanted picture, so that the caller reads again from the start.
std::optional<std::vector<Image>> Read(const std::string& path, const PictureChoice& choice, bool seek) {
  const FormatLibrary& lib = FormatLibrary::Get();
  AVFormatContext* format = nullptr;
  if (int rc = lib.open_input(&format, path.c_str(), nullptr, nullptr); rc < 0)
    throw std::runtime_error("cannot read " + path + ": " + AvError(rc));
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> closer(format, [](AVFormatContext* f) {
    FormatLibrary::Get().close_input(&f);
  });
  if (int rc = lib.find_stream_info(format, nullptr); rc < 0)
    throw std::runtime_error("cannot read " + path + ": " + AvError(rc));

  std::vector<std::unique_ptr<Stream>> streams(format->nb_streams);
  size_t count = 0;
  for (unsigned s = 0; s < format->nb_streams; ++s) {
    const AVStream* st = format->streams[s];
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO || par->codec_id != AV_CODEC_ID_HEVC) continue;
    auto stream = std::make_unique<Stream>(st, path + " stream #" + std::to_string(s), choice);
    try {
      if (par->extradata && par->extradata_size > 0) {
        const auto configuration =
            Orvane::Proc::BlobFF::Create(par->extradata, static_cast<size_t>(par->extradata_size));
        stream->framing = cp::HEVCParser::CreateFromCodecConfiguration(configuration);
        stream->parameterSets.Start(configuration);
      } else {
        stream->framing = std::make_shared<cp::HEVCParser>(true);  // no configuration: Annex B packets
      }
    } catch (const boost::exception& e) {
      throw std::runtime_error(stream->origin + ": " + Describe(e, choice.verbose));
    }
    streams[s] = std::move(stream);
    ++count;
  }
  if (count == 0) throw std::runtime_error(path + ": no HEVC video stream");

  const int64_t startUs = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
  bool sought = false;
  if (seek && choice.timeUs && *choice.timeUs > kSeekMarginUs) {
    const int64_t target = startUs + *choice.timeUs - kSeekMarginUs;
    sought = lib.seek_file(format, -1, INT64_MIN, target, target, 0) >= 0;
  }

  size_t missing = count;
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
  while (missing && lib.read_frame(format, packet.get()) >= 0) {
    const auto s = static_cast<unsigned>(packet->stream_index);
    Stream* stream = s < streams.size() ? streams[s].get() : nullptr;
    if (stream && stream->image && stream->image->lastOfInput) {
      stream->image->lastOfInput = false;  // a packet follows it: the input did not end inside it
      --missing;
    } else if (stream && !stream->image && packet->size > 0) {
      const std::optional<int64_t> time = TimeUs(*packet, *stream->st, startUs);
      // A seek that landed after the wanted time may have passed the wanted picture.
      if (sought && !stream->sawPacket && time && *time > *choice.timeUs) return std::nullopt;
      stream->sawPacket = true;
      const auto bytes = Orvane::Proc::BlobFF::Create(packet->buf, packet->data, static_cast<size_t>(packet->size));
      std::shared_ptr<cp::H26xParser> picture;
      try {
        picture = stream->framing->ParsePacket(bytes);
      } catch (const boost::exception&) {
        // A packet that cannot be cut into NAL units (a damaged or truncated one) holds no picture to take.
      }
      try {
        if (picture) stream->parameterSets.Add(picture->nalus());
        if (picture && (picture->GetPictureFlags() & cp::PICTURE_RANDOM_ACCESS) && stream->counter.IsWanted(time)) {
          const std::string name =
              PacketName(sought ? std::nullopt : std::optional<uint64_t>(stream->packets), packet->pos, time);
          if (choice.verbose) SayTaken(stream->origin, name, *picture);
          AVPacket* shared = av_packet_clone(packet.get());  // another reference, not a copy
          if (!shared) throw std::bad_alloc();
          stream->image = MakeImage(stream->origin, name, stream->parameterSets.Configuration(), stream->framing,
                                    Orvane::Proc::DataPacketFF::Create(shared, 1, shared->pts, shared->dts, shared->duration),
                                    true);
        }
      } catch (const boost::exception& e) {
        throw std::runtime_error(stream->origin + ": " + Describe(e, choice.verbose));
      }
    }
    if (stream) ++stream->packets;
    av_packet_unref(packet.get());
  }
  // A seek that left a stream without any packet may have gone past its wanted picture too.
  for (const auto& stream : streams)
    if (stream && !stream->image && sought && !stream->sawPacket) return std::nullopt;

  std::vector<Image> images;
  for (auto& stream : streams) {
    if (!stream) continue;
    if (!stream->image)
      throw std::runtime_error(stream->counter.Refusal(
          stream->origin, format->duration != AV_NOPTS_VALUE ? std::optional<int64_t>(format->duration) : std::nullopt));
    images.push_back(std::move(*stream->image));
  }
  return images;
}

}  // namespace

std::vector<Image> ReadContainer(const std::string& path, const PictureChoice& choice) {
  if (auto images = Read(path, choice, true)) return std::move(*images);
  return *Read(path, choice, false);
}

}  // namespace heifmux
