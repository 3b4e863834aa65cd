#include "Images.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include <boost/exception/get_error_info.hpp>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "FormatLibrary.h"
#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"

namespace heifmux {
namespace {

constexpr uint32_t kVPS = 32, kSPS = 33, kPPS = 34, kAUD = 35, kPrefixSEI = 39;

// Raw HEVC streams: the file names they go by, and how much of a file tells a container apart.
constexpr const char* kRawExtensions[] = {".hevc", ".h265", ".265", ".bin"};
constexpr size_t kProbeBytes = 16 * 1024;

// A raw Annex B stream begins with a start code (after any zero bytes) or goes by a raw stream's
// name; either way it is raw only while libavformat does not recognise another format in it, as
// it recognises MPEG program streams, which begin with a start code too, or elementary H.264. One
// that opens as HEVC streams open, with a VPS, an access unit delimiter or a prefix SEI of the base
// layer and temporal sub-layer 0, is raw HEVC without asking: no other format begins with those
// two bytes after a start code (those of H.264 or MPEG video set a bit that HEVC's headers leave
// clear, or give another type).
bool IsRawStream(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;  // libavformat says why it cannot be read
  std::vector<uint8_t> head(kProbeBytes + AVPROBE_PADDING_SIZE, 0);
  in.read(reinterpret_cast<char*>(head.data()), kProbeBytes);
  const auto length = static_cast<size_t>(in.gcount());
  size_t zeros = 0;
  while (zeros < length && head[zeros] == 0) ++zeros;
  const bool startCode = zeros >= 2 && zeros < length && head[zeros] == 1;
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const bool rawName = std::find(std::begin(kRawExtensions), std::end(kRawExtensions), extension) !=
                       std::end(kRawExtensions);
  if (!startCode && !rawName) return false;
  if (startCode && zeros + 3 < length) {
    const uint8_t* header = &head[zeros + 1];
    const uint32_t type = header[0] >> 1;  // forbidden_zero_bit clear
    if ((type == kVPS || type == kAUD || type == kPrefixSEI) && header[1] == 1) return true;  // layer 0, sub-layer 0
  }

  AVProbeData probe{};
  probe.filename = "";
  probe.buf = head.data();
  probe.buf_size = static_cast<int>(length);
  int score = 0;
  const AVInputFormat* format = FormatLibrary::Get().probe_input_format3(&probe, 1, &score);
  const bool other = format && std::strcmp(format->name, "hevc") != 0 &&
                     score > (rawName ? AVPROBE_SCORE_EXTENSION : AVPROBE_SCORE_RETRY);
  return !other;
}

}  // namespace

std::vector<Image> ReadImages(const std::string& path, const PictureChoice& choice) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw std::runtime_error(path + ": is a directory");
  return IsRawStream(path) ? ReadRawStream(path, choice) : ReadContainer(path, choice);
}

std::string Describe(const boost::exception& e, bool detailed) {
  const std::string* d = boost::get_error_info<Orvane::ErrorDescription>(e);
  if (d && !detailed) return *d;
  return (d ? *d + "\n" : std::string()) + Orvane::DiagnosticInformation(e);
}

std::string Seconds(int64_t us) {
  std::string text = std::to_string(us < 0 ? -us : us);
  if (text.size() < 7) text.insert(0, 7 - text.size(), '0');
  text.insert(text.size() - 6, ".");
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return us < 0 ? "-" + text : text;
}

bool RandomAccessCounter::IsWanted(std::optional<int64_t> timeUs) {
  ++seen_;
  if (choice_.frame) return seen_ == *choice_.frame;
  if (choice_.timeUs) return timeUs && *timeUs >= *choice_.timeUs;
  return true;
}

std::string RandomAccessCounter::Refusal(const std::string& origin, std::optional<int64_t> durationUs) const {
  if (choice_.frame && seen_ > 0)
    return origin + ": --frame " + std::to_string(*choice_.frame) + ": the stream has only " + std::to_string(seen_) +
           " random-access pictures";
  if (choice_.timeUs && *choice_.timeUs > 0)
    return origin + ": no random-access picture at or after " + Seconds(*choice_.timeUs) + " s" +
           (durationUs ? " (the stream lasts " + Seconds(*durationUs) + " s)" : "");
  return origin + ": no random-access picture (IDR, CRA or BLA), so no picture that decodes on its own";
}

void ParameterSetsInForce::Start(const Orvane::BlobPtr& configuration) {
  configuration_ = configuration;
  const auto parser = cp::HEVCParser::CreateFromCodecConfiguration(configuration);
  // By kind, as the parameter sets are collected from a configuration: a PPS after its SPS.
  for (uint32_t type = kVPS; type <= kPPS; ++type)
    for (const cp::NALU& nalu : parser->GetNALUs(type)) Store(nalu);
  for (const cp::NALU& nalu : parser->nalus())
    if (cp::HEVCNaluType(nalu) < kVPS || cp::HEVCNaluType(nalu) > kPPS) others_.emplace_back(nalu.data, nalu.data + nalu.size);
  changed_ = false;
}

bool ParameterSetsInForce::Add(const std::vector<cp::NALU>& packet) {
  bool any = false;
  for (const cp::NALU& nalu : packet) any = Store(nalu) || any;
  changed_ = changed_ || any;
  return any;
}

namespace {
// The record AddNALU has just stored: the one of its list that was not there before.
template <class Record>
const Record& Stored(const std::vector<std::shared_ptr<const Record>>& before,
                     const std::vector<std::shared_ptr<const Record>>& after) {
  for (const auto& record : after)
    if (std::find(before.begin(), before.end(), record) == before.end()) return *record;
  throw std::logic_error("a parameter set was not stored");
}
}  // namespace

bool ParameterSetsInForce::Store(const cp::NALU& unit) {
  const uint32_t type = cp::HEVCNaluType(unit);
  if (type < kVPS || type > kPPS) return false;
  // Streams repeat their parameter sets unchanged at every random-access picture: a unit equal to
  // one in force changes nothing and need not be decoded again.
  for (auto it = units_.lower_bound({type, 0}); it != units_.end() && it->first.first == type; ++it)
    if (it->second.size() == unit.size && std::equal(it->second.begin(), it->second.end(), unit.data)) return false;
  uint32_t id = 0;
  if (type == kVPS) {
    const auto before = decoded_.vps_list;
    decoded_.AddNALU(unit);
    id = Stored(before, decoded_.vps_list).vps_video_parameter_set_id;
  } else if (type == kSPS) {
    const auto before = decoded_.sps_list;
    decoded_.AddNALU(unit);
    id = Stored(before, decoded_.sps_list).sps_seq_parameter_set_id;
  } else {
    const auto before = decoded_.pps_list;
    decoded_.AddNALU(unit);
    id = Stored(before, decoded_.pps_list).pps_pic_parameter_set_id;
  }
  units_[{type, id}].assign(unit.data, unit.data + unit.size);
  return true;
}

Orvane::BlobPtr ParameterSetsInForce::Configuration() const {
  if (!changed_) return configuration_;
  std::vector<cp::NALU> nalus;
  for (const auto& [key, unit] : units_) nalus.push_back({unit.data(), unit.size()});
  for (const auto& unit : others_) nalus.push_back({unit.data(), unit.size()});
  return nalus.empty() ? nullptr : cp::MakeAnnexBBlob(nalus);
}

std::string PacketName(std::optional<uint64_t> index, int64_t bytePosition, std::optional<int64_t> timeUs) {
  std::string name = "packet";
  if (index) name += " " + std::to_string(*index);
  if (bytePosition >= 0) name += " at byte " + std::to_string(bytePosition);  // where the demuxer knows it
  if (!index) name += " (reached by seeking)";
  return name + (timeUs ? ", " + Seconds(*timeUs) + " s" : ", time unknown");
}

Image MakeImage(const std::string& origin, const std::string& packet, const Orvane::BlobPtr& configuration,
                const std::shared_ptr<cp::HEVCParser>& framing,
                const boost::intrusive_ptr<Orvane::Proc::IDataPacket>& picture, bool lastOfInput) {
  if (!configuration) throw std::runtime_error(origin + " has no decoder configuration");
  const auto parser = cp::HEVCParser::CreateFromCodecConfiguration(configuration);
  const auto ps = parser->GetParameterSets();
  if (ps->vps_list.empty() || ps->sps_list.empty()) throw std::runtime_error(origin + " has no VPS or no SPS");
  const auto fourByteLengths = parser->nalLengthSize() == 4u
                                   ? parser
                                   : cp::HEVCParser::CreateFromCodecConfiguration(cp::NalusToHVCC(parser->nalus(), 4));

  Image image;
  image.origin = origin;
  image.packet = packet;
  image.hvcc = fourByteLengths->source();
  image.lastOfInput = lastOfInput;
  image.picture = cp::ConvertPacketFromSourceToDestinationFormat(picture, framing, fourByteLengths, nullptr);
  // The size is the one of the SPS that the picture's PPS names, which need not be the first.
  const auto units = fourByteLengths->ParsePacket(image.picture->GetBlob());
  const auto slice = std::find_if(units->nalus().begin(), units->nalus().end(),
                                  [](const cp::NALU& nalu) { return cp::HEVCNaluType(nalu) < kVPS; });
  if (slice == units->nalus().end()) throw std::runtime_error(origin + ": " + packet + ": no slice in the picture");
  const auto header = cp::CreateSliceHeader(*ps, *slice);
  const auto sps = ps->GetSPS(ps->GetPPS(header->slice_pic_parameter_set_id)->pps_seq_parameter_set_id);
  const auto [width, height] = sps->GetPictureSize();
  image.codec = Orvane::Conf::FormatCodecVideo::Create(width, height);
  image.codec->SetPrivateData(configuration);
  return image;
}

void SayTaken(const std::string& origin, const std::string& packet, const cp::H26xParser& picture) {
  std::string line = origin + ": " + packet + ",";
  for (const cp::NALU& nalu : picture.nalus()) line += " " + cp::HEVCNaluTypeName(cp::HEVCNaluType(nalu));
  std::cerr << line << "\n";
}

}  // namespace heifmux
