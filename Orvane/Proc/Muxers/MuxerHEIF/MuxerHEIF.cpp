#include "MuxerHEIF.h"

#include <heif_file.h>

#include <chrono>
#include <fstream>
#include <locale>

#include <glog/logging.h>

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>

#include "ExifItem.h"
#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"
#include "Orvane/Proc/ProcException.h"
#include "Orvane/Proc/Statistics.h"
#include "Orvane/Throw.h"

namespace Orvane::Proc {
namespace {

constexpr const char kUnit[] = "Orvane/Proc/Muxers/MuxerHEIF/MuxerHEIF";

[[noreturn]] void ThrowMuxer(const char* function, const char* message,
                             std::source_location at = std::source_location::current()) {
  ThrowException<MuxerException>(kUnit, function, message, at);
}

// The hvcC fields the muxer fills: profile, tier and level from the lowest-id VPS, format, bit
// depths and temporal nesting from the lowest-id SPS. The constraint flags stay zero: libheif
// writes non-zero ones wrongly, and zero claims no constraint, which is always true.
heif::Box_hvcC::configuration MakeConfiguration(const CodecParsers::HEVC_VPS& vps,
                                                const CodecParsers::HEVC_SPS& sps) {
  const CodecParsers::HEVC_ProfileInfo& general = vps.profile_tier_level.general;
  heif::Box_hvcC::configuration config{};
  config.configuration_version = 1;
  config.general_profile_space = general.profile_space;
  config.general_tier_flag = general.tier_flag != 0;
  config.general_profile_idc = general.profile_idc;
  config.general_profile_compatibility_flags = 0;
  for (uint8_t byte : general.profile_compatibility_bytes)
    config.general_profile_compatibility_flags = config.general_profile_compatibility_flags << 8 | byte;
  config.general_constraint_indicator_flags.reset();
  config.general_level_idc = general.level_idc;
  config.min_spatial_segmentation_idc = 0;
  config.parallelism_type = 0;
  config.chroma_format = sps.chroma_format_idc;
  config.bit_depth_luma = static_cast<uint8_t>(sps.bit_depth_luma_minus8 + 8);
  config.bit_depth_chroma = static_cast<uint8_t>(sps.bit_depth_chroma_minus8 + 8);
  config.avg_frame_rate = 0;
  config.constant_frame_rate = 0;
  config.num_temporal_layers = 1;
  config.temporal_id_nested = sps.sps_temporal_id_nesting_flag;
  return config;
}

// The units of a packet behind 4-byte lengths; false when it is not framed so.
bool SplitLengthPrefixed(const IBlob& blob, std::vector<CodecParsers::NALU>& nalus) {
  try {
    CodecParsers::FindMP4Nalus(blob.GetData(), blob.GetSize(), nalus, 4);
  } catch (const CodecParsers::BitstreamException&) {
    return false;
  }
  return true;
}

// The mastering display and content light level messages of the SEI units among `nalus`, a later
// one replacing an earlier one. An SEI unit that cannot be read is metadata the picture decodes
// without: what it held before the failure is taken, with a warning, and the image is kept.
template <class Colour>
void TakeColourMessages(uint32_t id, const std::vector<CodecParsers::NALU>& nalus, Colour& colour) {
  using CodecParsers::HEVC_SEIMessage;
  for (const CodecParsers::NALU& nalu : nalus) {
    const uint32_t type = CodecParsers::HEVCNaluType(nalu);
    if (type != 39 && type != 40) continue;
    CodecParsers::HEVC_SEI sei;
    try {
      sei.Decode(nalu);
    } catch (const CodecParsers::BitstreamException& e) {
      const std::string* description = boost::get_error_info<ErrorDescription>(e);
      LOG(WARNING) << "Image #" << id << ": an SEI unit cannot be read (" << (description ? *description : "?")
                   << "); its colour messages before that are used";
    }
    if (const HEVC_SEIMessage* m = sei.Find(HEVC_SEIMessage::kMasteringDisplayColourVolume))
      colour.masteringDisplay = m->mastering_display_colour_volume;
    if (const HEVC_SEIMessage* m = sei.Find(HEVC_SEIMessage::kContentLightLevel))
      colour.contentLightLevel = m->content_light_level_info;
  }
}

std::string ToLower(std::string text) {
  const auto& facet = std::use_facet<std::ctype<char>>(std::locale());
  facet.tolower(text.data(), text.data() + text.size());
  return text;
}

}  // namespace

MuxerHEIF::MuxerHEIF(const boost::intrusive_ptr<Conf::IFormatFile>& formatFile,
                     const boost::intrusive_ptr<IDataOutput>& dataOutput)
    : formatFile(formatFile), dataOutput(dataOutput), heifFile(std::make_unique<heif::HeifFile>()) {
  if (!formatFile) ThrowMuxer("MuxerHEIF", "formatFile is NULL.");
  if (!dataOutput) ThrowMuxer("MuxerHEIF", "dataOutput is NULL.");
  heifFile->new_empty_file();
  // A new file model has an empty 'ftyp', which readers refuse.
  heifFile->set_brand(heif_compression_HEVC, false);
}

MuxerHEIF::~MuxerHEIF() {
  // The host releases the muxer without asking; a failure here can only be logged.
  try {
    Close();
  } catch (const boost::exception& e) {
    const std::string* description = boost::get_error_info<ErrorDescription>(e);
    LOG(ERROR) << "Closing the HEIF output failed: "
               << (description ? *description : boost::diagnostic_information(e));
  } catch (const std::exception& e) {
    LOG(ERROR) << "Closing the HEIF output failed: " << e.what();
  } catch (...) {
    LOG(ERROR) << "Closing the HEIF output failed";
  }
}

uint32_t MuxerHEIF::AddStream(const boost::intrusive_ptr<Conf::IFormatCodec>& codec) {
  boost::intrusive_ptr<Conf::IFormatCodecVideo> video(dynamic_cast<Conf::IFormatCodecVideo*>(codec.get()));
  if (!video) ThrowMuxer("AddStream", "Attempted to add non-video stream.");
  const uint32_t id = heifFile->add_new_image("hvc1");
  streams.emplace(id, StreamEntry{std::move(video), false, {}});
  return id;
}

void MuxerHEIF::WriteHeader(int32_t mode) {
  if (mode != 1) return;
  if (streams.empty()) ThrowMuxer("WriteHeader", "No streams");
  for (auto& [id, stream] : streams) {
    AddDecoderConfiguration(id, stream);
    AddExifItem(*heifFile, id, *stream.codec);
    heifFile->add_ispe_property(id, stream.codec->GetWidth(), stream.codec->GetHeight());
    if (stream.codec->ExistsMainStreamFlag() && stream.codec->GetMainStreamFlag()) {
      heifFile->set_primary_item_id(id);
    }
  }
  if (heifFile->get_primary_image_ID() == 0) heifFile->set_primary_item_id(streams.begin()->first);
}

void MuxerHEIF::AddDecoderConfiguration(uint32_t id, StreamEntry& stream) {
  const Conf::IFormatCodecVideo& codec = *stream.codec;
  std::shared_ptr<CodecParsers::HEVCParser> parser;
  {
    const boost::intrusive_ptr<const IBlob> privateData = codec.GetPrivateData();
    if (!privateData || privateData->GetSize() == 0) ThrowMuxer("WriteHeader", "Stream has no decoder configuration");
    parser = CodecParsers::HEVCParser::CreateFromCodecConfiguration(privateData);
  }
  const std::shared_ptr<CodecParsers::HEVC_PS> ps = parser->GetParameterSets();
  // Without both, the hvcC box would claim a profile and format that nothing backs.
  if (ps->vps_list.empty() || ps->sps_list.empty()) ThrowMuxer("WriteHeader", "Stream has no decoder configuration");

  heifFile->add_hvcC_property(id);
  heifFile->set_hvcC_configuration(id, MakeConfiguration(*ps->vps_list.front(), *ps->sps_list.front()));
  for (const CodecParsers::NALU& nalu : parser->nalus()) {
    heifFile->append_hvcC_nal_data(id, nalu.data, nalu.size);
  }

  // The SPS the hvcC describes gives the video signal type.
  const CodecParsers::HEVC_SPS& sps = *ps->sps_list.front();
  const CodecParsers::CommonVUI& vui = sps.vui.common;
  DeclaredColour& colour = stream.colour;
  colour.fullRange = sps.vui_parameters_present_flag && vui.video_signal_type_present_flag && vui.video_full_range_flag;
  colour.colour = sps.GetColourDescription();
  colour.signalType = colour.fullRange ||
                      (sps.vui_parameters_present_flag && vui.video_signal_type_present_flag && vui.colour_description_present_flag);
  TakeColourMessages(id, parser->nalus(), colour);
}

void MuxerHEIF::AddColourProperties(uint32_t id, const DeclaredColour& colour) {
  std::string said;
  const auto associate = [&](const std::shared_ptr<heif::Box>& box, const std::string& what) {
    const int index = heifFile->get_ipco_box()->append_child_box(box);
    // Not essential: a reader that does not know the property still shows the picture.
    heifFile->get_ipma_box()->add_property_for_item_ID(id, heif::Box_ipma::PropertyAssociation{false, uint16_t(index + 1)});
    said += (said.empty() ? "" : ", ") + what;
  };
  if (colour.signalType) {
    auto nclx = std::make_shared<heif::color_profile_nclx>();
    nclx->set_colour_primaries(static_cast<uint16_t>(colour.colour.primaries));
    nclx->set_transfer_characteristics(static_cast<uint16_t>(colour.colour.transfer));
    nclx->set_matrix_coefficients(static_cast<uint16_t>(colour.colour.matrix));
    nclx->set_full_range_flag(colour.fullRange);
    auto colr = std::make_shared<heif::Box_colr>();
    colr->set_color_profile(nclx);
    associate(colr, "colr nclx " + std::to_string(nclx->get_colour_primaries()) + "/" +
                        std::to_string(nclx->get_transfer_characteristics()) + "/" +
                        std::to_string(nclx->get_matrix_coefficients()) + (colour.fullRange ? " full range" : " limited range"));
  }
  if (colour.masteringDisplay) {
    const CodecParsers::HEVC_MasteringDisplayColourVolume& m = *colour.masteringDisplay;
    auto mdcv = std::make_shared<heif::Box_mdcv>();
    for (int c = 0; c < 3; ++c) {
      mdcv->mdcv.display_primaries_x[c] = m.display_primaries[c].display_primaries_x;
      mdcv->mdcv.display_primaries_y[c] = m.display_primaries[c].display_primaries_y;
    }
    mdcv->mdcv.white_point_x = m.white_point_x;
    mdcv->mdcv.white_point_y = m.white_point_y;
    mdcv->mdcv.max_display_mastering_luminance = m.max_display_mastering_luminance;
    mdcv->mdcv.min_display_mastering_luminance = m.min_display_mastering_luminance;
    associate(mdcv, "mdcv");
  }
  if (colour.contentLightLevel) {
    auto clli = std::make_shared<heif::Box_clli>();
    clli->clli.max_content_light_level = colour.contentLightLevel->max_content_light_level;
    clli->clli.max_pic_average_light_level = colour.contentLightLevel->max_pic_average_light_level;
    associate(clli, "clli");
  }
  LOG(INFO) << "Image #" << id << " colour properties: " << (said.empty() ? "none" : said);
}

void MuxerHEIF::Write(uint32_t streamIndex, const boost::intrusive_ptr<IData>& data) {
  const auto found = streams.find(streamIndex);
  if (found == streams.end()) ThrowMuxer("Write", "Invalid stream index");
  const auto* packet = dynamic_cast<const IDataPacket*>(data.get());
  if (!packet) ThrowMuxer("Write", "Input data is not instance of IDataPacket.");
  const BlobPtr blob = packet->GetBlob();

  StreamEntry& stream = found->second;
  if (stream.written) {
    LOG(WARNING) << "Skip packet for image #" << streamIndex
                 << " because image sequences are not supported";
    return;
  }
  // An item without data would be a file no reader can decode; refuse rather than mark it written.
  if (!blob) ThrowMuxer("Write", "Packet has no data");
  // The hvcC box declares 4-byte NAL lengths; data framed otherwise would be stored undecodable.
  std::vector<CodecParsers::NALU> nalus;
  if (!SplitLengthPrefixed(*blob, nalus)) ThrowMuxer("Write", "Packet is not in length-prefixed form");

  const auto start = std::chrono::steady_clock::now();
  std::vector<uint8_t> bytes(blob->GetData(), blob->GetData() + blob->GetSize());
  heifFile->append_iloc_data(streamIndex, bytes);
  // The picture's own messages stand over the configuration's.
  TakeColourMessages(streamIndex, nalus, stream.colour);
  AddColourProperties(streamIndex, stream.colour);
  stream.written = true;
  ++imagesWritten;
  processingTimeNs += static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
}

void MuxerHEIF::Close() {
  if (dataOutput->GetStream() != nullptr) return;

  heif::StreamWriter writer;
  heifFile->write(writer);
  const std::vector<uint8_t>& bytes = writer.get_data();

  std::ofstream out(ioPath::FromUtf8(dataOutput->GetPath().utf8string()).native(),
                    std::ios::binary | std::ios::trunc);
  if (!out.is_open()) ThrowMuxer("Close", "Cannot open output file");
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  // A full disk or a failed flush must not pass for a written file.
  if (!out) ThrowMuxer("Close", "Cannot write output file");
}

std::string MuxerHEIF::GetFormatName() const {
  const std::string extension = dataOutput->GetPath().extension().utf8string();
  // No extension: HEIC, the format of every file this muxer writes.
  if (extension.empty()) return Conf::IFormatFile::FORMAT_HEIC;
  if (ToLower(extension.substr(1)) == ToLower(Conf::IFormatFile::FORMAT_HEIF)) {
    return Conf::IFormatFile::FORMAT_HEIF;
  }
  return Conf::IFormatFile::FORMAT_HEIC;
}

Core::Property MuxerHEIF::GetStatistic() const {
  Statistics::StatisticInfo info;
  info.name = "Orvane::Proc::MuxerHEIF::GetStatistic";
  info.timeNs = processingTimeNs;
  info.count = imagesWritten;
  info.kind = 10;
  info.implementation = ImplNames::LIBHEIF;
  Core::Property stats = Statistics::MakeStatistics(info);
  stats.SetChild("Destination", dataOutput->GetPath().utf8string());
  Core::Property result = Core::GetRootItem();
  result.Add(std::move(stats));
  return result;
}

}  // namespace Orvane::Proc
