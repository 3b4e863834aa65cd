#include "Inputs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <boost/exception/get_error_info.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264Parser.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Proc/Data.h"

namespace inspect {

namespace {

// A raw stream is read this much at a time; memory holds a block and the unit in progress.
constexpr size_t kBlockBytes = size_t{4} << 20;
constexpr size_t kStartCodeBytes = 3;
// How many units the codec of a raw stream is guessed from.
constexpr size_t kProbeUnits = 64;

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FilePtr Open(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file || std::filesystem::is_directory(path)) {
    throw InputError("cannot read " + path + ": " + std::strerror(errno ? errno : EISDIR));
  }
  return file;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Whether the unit's header is one an H.265 or an H.264 stream commonly holds.
bool PlausibleHEVC(const cp::NALU& nalu) {
  if (nalu.size < 2 || (nalu.data[0] & 0x81) != 0 || (nalu.data[1] >> 3) != 0 || (nalu.data[1] & 7) == 0) return false;
  const uint32_t type = cp::HEVCNaluType(nalu);
  return type <= 9 || (type >= 16 && type <= 21) || (type >= 32 && type <= 40);
}

bool PlausibleH264(const cp::NALU& nalu) {
  if ((nalu.data[0] & 0x80) != 0) return false;
  const uint32_t refIdc = nalu.data[0] >> 5;
  switch (cp::H264NaluType(nalu)) {
    case 1: case 2: case 3: case 4: case 14: case 15: case 19: case 20:
      return true;
    case 5: case 7: case 8:  // IDR slices and parameter sets are always reference material
      return refIdc != 0;
    case 6: case 9: case 10: case 11: case 12:  // SEI, delimiters and filler never are
      return refIdc == 0;
    default:
      return false;
  }
}

std::string Describe(const boost::exception& e) {
  if (const std::string* d = boost::get_error_info<Orvane::ErrorDescription>(e)) return *d;
  return "unreadable data";
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

bool LooksLikeAnnexB(const std::string& path) {
  const FilePtr file = Open(path);
  uint8_t head[256];
  const size_t got = std::fread(head, 1, sizeof head, file.get());
  size_t zeros = 0;
  while (zeros < got && head[zeros] == 0) ++zeros;
  return zeros >= 2 && zeros + 1 < got && head[zeros] == 1 && (head[zeros + 1] & 0x80) == 0;
}

Codec RawStreamCodec(const std::string& path, std::optional<Codec> given) {
  if (given) return *given;
  const std::string extension = Lower(std::filesystem::path(path).extension().string());
  for (const char* e : {".h264", ".264", ".avc", ".jsv", ".26l", ".h26l"}) {
    if (extension == e) return Codec::H264;
  }
  for (const char* e : {".h265", ".265", ".hevc"}) {
    if (extension == e) return Codec::H265;
  }
  size_t hevc = 0;
  size_t avc = 0;
  size_t seen = 0;
  ReadRawStream(path, [&](const cp::NALU& nalu, const UnitPlace&) {
    hevc += PlausibleHEVC(nalu);
    avc += PlausibleH264(nalu);
    return ++seen < kProbeUnits;
  });
  return avc > hevc ? Codec::H264 : Codec::H265;
}

void ReadRawStream(const std::string& path, const UnitSink& sink) {
  const FilePtr file = Open(path);
  std::vector<uint8_t> buffer;
  std::vector<cp::NALU> nalus;
  uint64_t bufferOffset = 0;  // of buffer[0] in the file
  uint64_t index = 0;
  for (;;) {
    const size_t kept = buffer.size();
    buffer.resize(kept + kBlockBytes);
    const size_t got = std::fread(buffer.data() + kept, 1, kBlockBytes, file.get());
    buffer.resize(kept + got);
    if (got < kBlockBytes && std::ferror(file.get())) throw InputError("cannot read " + path);
    const bool end = got < kBlockBytes;

    // The last unit found may go on in the next block, unless the file ends here.
    nalus.clear();
    cp::FindAnnexBNalus(buffer.data(), buffer.size(), nalus);
    const size_t complete = end || nalus.empty() ? nalus.size() : nalus.size() - 1;
    for (size_t i = 0; i < complete; ++i) {
      const uint64_t offset = bufferOffset + static_cast<uint64_t>(nalus[i].data - buffer.data());
      if (!sink(nalus[i], {index++, std::nullopt, offset})) return;
    }
    if (end) return;

    // Keep the unit in progress with its start code, or, before the first unit, what may be the
    // beginning of a start code.
    const size_t keepFrom = complete < nalus.size()
                                ? static_cast<size_t>(nalus[complete].data - buffer.data()) - kStartCodeBytes
                                : buffer.size() - std::min(buffer.size(), kStartCodeBytes - 1);
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(keepFrom));
    bufferOffset += keepFrom;
  }
}

void ReadContainer(const std::string& path, std::optional<Codec> given, const std::function<void(Codec)>& codecFound,
                   const UnitSink& sink) {
  AVFormatContext* opened = nullptr;
  if (const int rc = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); rc < 0) {
    throw InputError("cannot read " + path + ": " + AvError(rc));
  }
  const std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
      opened, [](AVFormatContext* f) { avformat_close_input(&f); });
  if (const int rc = avformat_find_stream_info(format.get(), nullptr); rc < 0) {
    throw InputError("cannot read " + path + ": " + AvError(rc));
  }

  const AVStream* stream = nullptr;
  Codec codec = Codec::H265;
  for (unsigned s = 0; s < format->nb_streams && !stream; ++s) {
    const AVCodecParameters* par = format->streams[s]->codecpar;
    const std::optional<Codec> found = par->codec_id == AV_CODEC_ID_HEVC   ? std::optional(Codec::H265)
                                       : par->codec_id == AV_CODEC_ID_H264 ? std::optional(Codec::H264)
                                                                           : std::nullopt;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && found && (!given || *given == *found)) {
      stream = format->streams[s];
      codec = *found;
    }
  }
  if (!stream) {
    throw InputError(path + ": no " + (given ? std::string(CodecName(*given)) : std::string("H.264 or H.265")) +
                     " video stream");
  }
  codecFound(codec);

  // The configuration: its units and the framing of the packets it describes.
  uint64_t index = 0;
  std::optional<uint64_t> lengthSize;
  const AVCodecParameters& par = *stream->codecpar;
  if (par.extradata && par.extradata_size > 0) {
    const Orvane::BlobPtr blob = Orvane::Proc::BlobFF::Create(par.extradata, static_cast<size_t>(par.extradata_size));
    std::shared_ptr<cp::H26xParser> parser;
    try {
      if (codec == Codec::H265) {
        parser = cp::HEVCParser::CreateFromCodecConfiguration(blob);
      } else {
        parser = cp::H264Parser::CreateFromCodecConfiguration(blob);
      }
    } catch (const boost::exception& e) {
      throw InputError(path + ": codec configuration: " + Describe(e));
    }
    // Offsets in the bytes the parser holds, which are the configuration's unless it rebuilt them.
    lengthSize = parser->nalLengthSize();
    const uint8_t* data = parser->source()->GetData();
    for (const cp::NALU& nalu : parser->nalus()) {
      if (!sink(nalu, {index++, -1, static_cast<uint64_t>(nalu.data - data)})) return;
    }
  }

  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
  if (!packet) throw std::bad_alloc();
  std::vector<cp::NALU> units;
  for (int64_t number = 0;;) {
    const int rc = av_read_frame(format.get(), packet.get());
    if (rc == AVERROR_EOF) return;
    if (rc < 0) throw InputError("cannot read " + path + ": " + AvError(rc));
    if (packet->stream_index != stream->index) {
      av_packet_unref(packet.get());
      continue;
    }
    units.clear();
    try {
      if (lengthSize) {
        cp::FindMP4Nalus(packet->data, static_cast<uint64_t>(packet->size), units, *lengthSize);
      } else {
        cp::FindAnnexBNalus(packet->data, static_cast<uint64_t>(packet->size), units);
      }
    } catch (const boost::exception& e) {
      // The units before the fault are listed; the rest of the packet cannot be cut into units.
      std::fprintf(stderr, "h26x-inspect: packet %lld: %s\n", static_cast<long long>(number), Describe(e).c_str());
    }
    for (const cp::NALU& nalu : units) {
      if (!sink(nalu, {index++, number, static_cast<uint64_t>(nalu.data - packet->data)})) return;
    }
    ++number;
    av_packet_unref(packet.get());
  }
}

}  // namespace inspect
