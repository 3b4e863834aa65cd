#include "Summary.h"

#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <vector>

#include <boost/exception/get_error_info.hpp>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"

namespace inspect {

namespace {

using Json = nlohmann::ordered_json;

// A picture's type as people count them: B when any slice is B, else P when any is P (or SP),
// else I.
enum PictureType { kI, kP, kB };
constexpr std::array<const char*, 3> kPictureTypeNames = {"I", "P", "B"};

const char* ChromaFormatName(uint32_t chroma_format_idc) {
  constexpr std::array<const char*, 4> names = {"4:0:0", "4:2:0", "4:2:2", "4:4:4"};
  return chroma_format_idc < names.size() ? names[chroma_format_idc] : "reserved";
}

std::string Ratio(uint64_t num, uint64_t den) {
  const uint64_t g = std::gcd(num, den);
  return g == 0 ? "0/0" : std::to_string(num / g) + "/" + std::to_string(den / g);
}

// A VUI code point by the short name people know from FFmpeg's tools, else by its number.
template <typename Code>
std::string CodeName(const char* (*name)(Code), uint32_t value) {
  const char* known = name(static_cast<Code>(value));
  return known ? known : "reserved (" + std::to_string(value) + ")";
}

// The VUI head's signal type, aspect ratio; absent parts are left out.
void AddCommonVUI(Json& sequence, const cp::CommonVUI& vui) {
  if (vui.video_signal_type_present_flag) {
    Json colour;
    colour["range"] = vui.video_full_range_flag ? "full" : "limited";
    if (vui.colour_description_present_flag) {
      colour["primaries"] = CodeName(&av_color_primaries_name, vui.colour_primaries);
      colour["transfer"] = CodeName(&av_color_transfer_name, vui.transfer_characteristics);
      colour["matrix"] = CodeName(&av_color_space_name, vui.matrix_coefficients);
      colour["colour_primaries"] = vui.colour_primaries;
      colour["transfer_characteristics"] = vui.transfer_characteristics;
      colour["matrix_coefficients"] = vui.matrix_coefficients;
    }
    colour["video_full_range_flag"] = vui.video_full_range_flag;
    sequence["colour"] = colour;
  }
  if (vui.aspect_ratio_info_present_flag && vui.sar_width && vui.sar_height) {
    sequence["sample_aspect_ratio"] = std::to_string(vui.sar_width) + ":" + std::to_string(vui.sar_height);
  }
}

void AddSizes(Json& sequence, std::pair<uint32_t, uint32_t> coded, std::pair<uint32_t, uint32_t> shown) {
  sequence["coded_width"] = coded.first;
  sequence["coded_height"] = coded.second;
  sequence["width"] = shown.first;
  sequence["height"] = shown.second;
}

std::string Describe(const boost::exception& e) {
  if (const std::string* d = boost::get_error_info<Orvane::ErrorDescription>(e)) return *d;
  return "refused";
}

// What both codecs count the same way: pictures and their types, random-access pictures,
// parameter sets that change once pictures have come, refused units.
class SummariserBase : public Summariser {
 public:
  explicit SummariserBase(Codec codec) : codec_(codec) {}

  void Unit(const cp::NALU& nalu, const UnitPlace& place) final {
    ++units_;
    if (nalu.size == 0) return;
    try {
      Decode(nalu);
    } catch (const Orvane::Proc::CodecParsers::BitstreamException& e) {
      if (refused_++ == 0) firstRefusal_ = {{"unit", place.index}, {"message", Describe(e)}};
    }
  }

  Json Summary() const final {
    Json summary;
    summary["codec"] = CodecName(codec_);
    summary.update(sequence_);
    Extra(summary);
    summary["nal_units"] = units_;

    std::array<uint64_t, 3> types = types_;
    uint64_t frames = frames_;
    std::vector<uint64_t> randomAccess = randomAccess_;
    if (picture_) {
      ++types[picture_->type];
      if (picture_->randomAccess) randomAccess.push_back(pictures_);
    }
    const uint64_t pictures = pictures_ + (picture_ ? 1 : 0);
    summary["access_units"] = pictures;
    Json byType;
    for (size_t t = 0; t < types.size(); ++t) byType[kPictureTypeNames[t]] = types[t];
    summary["pictures"] = byType;
    summary["frames"] = frames + FramesOfPending();
    if (fieldPictures_) summary["field_pictures"] = fieldPictures_;
    if (coding_) summary["coding"] = *coding_;

    Json access;
    access["count"] = randomAccess.size();
    access["positions"] = randomAccess;
    if (randomAccess.size() > 1) {
      std::vector<uint64_t> gaps;
      for (size_t i = 1; i < randomAccess.size(); ++i) gaps.push_back(randomAccess[i] - randomAccess[i - 1]);
      access["interval"] = {{"min", *std::min_element(gaps.begin(), gaps.end())},
                            {"mean", static_cast<double>(randomAccess.back() - randomAccess.front()) /
                                         static_cast<double>(gaps.size())},
                            {"max", *std::max_element(gaps.begin(), gaps.end())}};
    }
    if (!randomAccess.empty()) access["gop"] = openGop_ ? "open" : "closed";
    summary["random_access"] = access;

    summary["parameter_set_changes"] = changes_;
    Json refused = {{"count", refused_}};
    if (refused_) refused["first"] = firstRefusal_;
    summary["refused_units"] = refused;
    return summary;
  }

 protected:
  struct Picture {
    PictureType type = kI;
    bool randomAccess = false;
  };

  virtual void Decode(const cp::NALU& nalu) = 0;
  // Members only one codec has, after the sequence's.
  virtual void Extra(Json&) const {}
  // Frames the picture in progress adds once it is complete.
  virtual uint64_t FramesOfPending() const { return picture_ ? 1 : 0; }

  // A new picture; the one before it is counted.
  Picture& BeginPicture() {
    EndPicture();
    picture_.emplace();
    return *picture_;
  }
  // The picture in progress, if any.
  Picture* CurrentPicture() { return picture_ ? &*picture_ : nullptr; }
  uint64_t PicturesBefore() const { return pictures_; }

  void AddSliceKind(PictureType kind) {
    if (picture_) picture_->type = std::max(picture_->type, kind);
  }

  // The sequence's facts are those of the first picture's SPS.
  bool HasSequence() const { return !sequence_.empty(); }
  void SetSequence(Json sequence) { sequence_ = std::move(sequence); }

  // A parameter set of `kind` and `id` with these bytes; a different one of the same id after the
  // first picture is a change of the stream's parameters.
  void ParameterSet(const char* kind, uint32_t id, const cp::NALU& nalu) {
    std::vector<uint8_t> bytes(nalu.data, nalu.data + nalu.size);
    while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
    auto [it, inserted] = parameterSets_.try_emplace({kind, id}, bytes);
    if (inserted || it->second == bytes) return;
    it->second = std::move(bytes);
    if (pictures_ > 0 || picture_) {
      changes_.push_back({{"unit", kind}, {"id", id}, {"access_unit", pictures_ + (picture_ ? 1 : 0)}});
    }
  }

  void MarkOpenGop() { openGop_ = true; }
  void AddFieldPicture() { ++fieldPictures_; }
  void SetCoding(std::string coding) { coding_ = std::move(coding); }

 private:
  // The picture counted; frames are added by the caller's codec, which knows what pairs.
  void EndPicture() {
    if (!picture_) return;
    ++types_[picture_->type];
    if (picture_->randomAccess) randomAccess_.push_back(pictures_);
    ++pictures_;
    frames_ += FramesOfPending();
    picture_.reset();
  }

  const Codec codec_;
  Json sequence_ = Json::object();
  uint64_t units_ = 0;
  uint64_t pictures_ = 0;
  uint64_t frames_ = 0;
  uint64_t fieldPictures_ = 0;
  std::optional<std::string> coding_;
  std::array<uint64_t, 3> types_{};
  std::optional<Picture> picture_;
  std::vector<uint64_t> randomAccess_;
  bool openGop_ = false;
  std::map<std::pair<std::string, uint32_t>, std::vector<uint8_t>> parameterSets_;
  Json changes_ = Json::array();
  uint64_t refused_ = 0;
  Json firstRefusal_;
};

// Mastering display and light level as the SEI messages of either codec give them, the first of
// each.
void AddMasteringDisplay(Json& hdr, const cp::H264_MasteringDisplayColourVolume& v) {
  if (hdr.contains("mastering_display")) return;
  Json primaries = Json::array();
  for (const auto& p : v.display_primaries) primaries.push_back({p.display_primaries_x, p.display_primaries_y});
  hdr["mastering_display"] = {{"display_primaries", primaries},
                              {"white_point", {v.white_point_x, v.white_point_y}},
                              {"max_display_mastering_luminance", v.max_display_mastering_luminance},
                              {"min_display_mastering_luminance", v.min_display_mastering_luminance}};
}

void AddContentLightLevel(Json& hdr, const cp::H264_ContentLightLevel& v) {
  if (hdr.contains("content_light_level")) return;
  hdr["content_light_level"] = {{"max_content_light_level", v.max_content_light_level},
                                {"max_pic_average_light_level", v.max_pic_average_light_level}};
}

void AddHDR(Json& hdr, const cp::H264_SEI& sei) {
  for (const cp::SEIMessage& m : sei.messages) {
    if (m.payloadType == cp::SEIMessage::kMasteringDisplayColourVolume) AddMasteringDisplay(hdr, m.mastering_display_colour_volume);
    if (m.payloadType == cp::SEIMessage::kContentLightLevel) AddContentLightLevel(hdr, m.content_light_level);
  }
}

void AddHDR(Json& hdr, const cp::HEVC_SEI& sei) {
  for (const cp::HEVC_SEIMessage& m : sei.messages) {
    using M = cp::HEVC_SEIMessage;
    if (m.payloadType == M::kMasteringDisplayColourVolume) AddMasteringDisplay(hdr, m.mastering_display_colour_volume);
    if (m.payloadType == M::kContentLightLevel) AddContentLightLevel(hdr, m.content_light_level_info);
    if (m.payloadType == M::kAlternativeTransferCharacteristics && !hdr.contains("alternative_transfer")) {
      hdr["alternative_transfer"] =
          CodeName(&av_color_transfer_name, m.alternative_transfer_characteristics.preferred_transfer_characteristics);
    }
  }
}

std::string H264ProfileName(const cp::H264_SPS& sps) {
  const bool set1 = sps.constraint_set1_flag, set3 = sps.constraint_set3_flag, set4 = sps.constraint_set4_flag,
             set5 = sps.constraint_set5_flag;
  switch (sps.profile_idc) {
    case 66: return set1 ? "Constrained Baseline" : "Baseline";
    case 77: return "Main";
    case 88: return "Extended";
    case 100: return set4 && set5 ? "Constrained High" : set4 ? "Progressive High" : "High";
    case 110: return set3 ? "High 10 Intra" : set4 ? "Progressive High 10" : "High 10";
    case 122: return set3 ? "High 4:2:2 Intra" : "High 4:2:2";
    case 244: return set3 ? "High 4:4:4 Intra" : "High 4:4:4 Predictive";
    case 44: return "CAVLC 4:4:4 Intra";
    case 83: return "Scalable Baseline";
    case 86: return "Scalable High";
    case 118: return "Multiview High";
    case 128: return "Stereo High";
    case 134: return "MFC High";
    case 138: return "Multiview Depth High";
    case 139: return "Enhanced Multiview Depth High";
    default: return "unknown (" + std::to_string(sps.profile_idc) + ")";
  }
}

class H264Summariser : public SummariserBase {
 public:
  H264Summariser() : SummariserBase(Codec::H264) {}

 private:
  static constexpr uint32_t kIDR = 5, kSEI = 6, kSPS = 7, kPPS = 8;

  void Decode(const cp::NALU& nalu) override {
    const uint32_t type = cp::H264NaluType(nalu);
    if (type == kSPS) {
      cp::H264_SPS sps;
      sps.Decode(nalu);
      ps_.AddNALU(nalu);
      ParameterSet("SPS", sps.seq_parameter_set_id, nalu);
    } else if (type == kPPS) {
      cp::H264_PPS pps;
      pps.Decode(nalu, ps_);
      ps_.AddNALU(nalu);
      ParameterSet("PPS", pps.pic_parameter_set_id, nalu);
    } else if (type == kSEI) {
      cp::H264_SEI sei;
      sei.Decode(nalu);
      AddHDR(hdr_, sei);
      for (const cp::SEIMessage& m : sei.messages) recoveryPoint_ |= m.payloadType == cp::SEIMessage::kRecoveryPoint;
    } else if (cp::StartsWithSliceHeader(type)) {
      Slice(nalu, type);
    }
  }

  // A header too long for the prefix DecodeSliceHeader reads is read from the whole slice.
  std::shared_ptr<const cp::H264SliceHeader> Header(const cp::NALU& nalu) const {
    try {
      return ps_.DecodeSliceHeader(nalu);
    } catch (const cp::BitstreamException&) {
      return ps_.DecodeSlice(nalu);
    }
  }

  void Slice(const cp::NALU& nalu, uint32_t type) {
    const std::shared_ptr<const cp::H264SliceHeader> header = Header(nalu);
    if (!previous_ || FirstSliceOfNewPicture(*previous_, *header)) {
      Picture& picture = BeginPicture();
      const bool idr = type == kIDR;
      // An I picture announced by a recovery point is where decoding can start without an IDR;
      // pictures after it may refer to pictures before it, which makes the GOP open.
      picture.randomAccess = idr || (recoveryPoint_ && header->Kind() == cp::kSliceI);
      if (picture.randomAccess && !idr) MarkOpenGop();
      recoveryPoint_ = false;
      NewPicture(*header);
    }
    const cp::H264SliceKind kind = header->Kind();
    AddSliceKind(kind == cp::kSliceB ? kB : kind == cp::kSliceP || kind == cp::kSliceSP ? kP : kI);
    previous_ = header;
  }

  void NewPicture(const cp::H264SliceHeader& header) {
    const cp::H264_SPS& sps = *header.sps;
    if (!HasSequence()) SetSequence(Sequence(sps));
    if (header.field_pic_flag) {
      AddFieldPicture();
      // The second field of a pair ends a frame the first began.
      pairs_ = openField_ && openField_->first != header.bottom_field_flag && openField_->second == header.frame_num;
      openField_ = pairs_ ? std::nullopt : std::optional(std::make_pair(header.bottom_field_flag, header.frame_num));
      fieldsSeen_ = true;
    } else {
      pairs_ = false;
      openField_.reset();
      (sps.mb_adaptive_frame_field_flag ? mbaffSeen_ : framesSeen_) = true;
    }
    if (!sps.frame_mbs_only_flag) {
      std::string coding;
      for (const auto& [seen, name] : {std::pair{mbaffSeen_, "MBAFF frames"}, {framesSeen_, "frames"}, {fieldsSeen_, "fields"}}) {
        if (seen) coding += (coding.empty() ? "interlaced: " : " and ") + std::string(name);
      }
      SetCoding(coding);
    } else {
      SetCoding("progressive");
    }
  }

  // A field that completes a pair adds no frame of its own.
  uint64_t FramesOfPending() const override { return pairs_ ? 0 : 1; }

  // Whether `next` begins another primary coded picture than `prev`'s: the comparisons H.264 makes
  // between consecutive slices.
  static bool FirstSliceOfNewPicture(const cp::H264SliceHeader& prev, const cp::H264SliceHeader& next) {
    const bool prevIDR = prev.nal_unit_type == kIDR, nextIDR = next.nal_unit_type == kIDR;
    if (next.redundant_pic_cnt > 0) return false;
    return prev.frame_num != next.frame_num || prev.pps != next.pps || prev.field_pic_flag != next.field_pic_flag ||
           (prev.field_pic_flag && prev.bottom_field_flag != next.bottom_field_flag) ||
           ((prev.nal_ref_idc == 0) != (next.nal_ref_idc == 0)) ||
           (next.sps->pic_order_cnt_type == 0 && (prev.pic_order_cnt_lsb != next.pic_order_cnt_lsb ||
                                                  prev.delta_pic_order_cnt_bottom != next.delta_pic_order_cnt_bottom)) ||
           (next.sps->pic_order_cnt_type == 1 && (prev.delta_pic_order_cnt[0] != next.delta_pic_order_cnt[0] ||
                                                  prev.delta_pic_order_cnt[1] != next.delta_pic_order_cnt[1])) ||
           prevIDR != nextIDR || (prevIDR && nextIDR && prev.idr_pic_id != next.idr_pic_id) ||
           next.first_mb_in_slice == 0;
  }

  static Json Sequence(const cp::H264_SPS& sps) {
    Json sequence;
    sequence["profile"] = H264ProfileName(sps);
    sequence["profile_idc"] = sps.profile_idc;
    const uint32_t level = sps.GetLevel();
    sequence["level"] = level == 9     ? std::string("1b")
                        : std::to_string(level / 10) + (level % 10 ? "." + std::to_string(level % 10) : "");
    sequence["level_idc"] = sps.level_idc;
    AddSizes(sequence, sps.GetCodedSize(), sps.GetPictureSize());
    sequence["chroma_format"] = ChromaFormatName(sps.chroma_format_idc);
    sequence["bit_depth_luma"] = sps.bit_depth_luma_minus8 + 8;
    sequence["bit_depth_chroma"] = sps.bit_depth_chroma_minus8 + 8;
    if (sps.vui_parameters_present_flag) {
      AddCommonVUI(sequence, sps.vui.common);
      // A tick is a field period: two of them make a frame.
      if (sps.vui.timing_info_present_flag && sps.vui.num_units_in_tick && sps.vui.time_scale) {
        sequence["frame_rate"] = Ratio(sps.vui.time_scale, uint64_t{2} * sps.vui.num_units_in_tick);
      }
    }
    return sequence;
  }

  void Extra(Json& summary) const override { summary.update(hdr_); }

  cp::H264_PS ps_;
  std::shared_ptr<const cp::H264SliceHeader> previous_;
  bool recoveryPoint_ = false;
  bool pairs_ = false;
  std::optional<std::pair<uint8_t, uint16_t>> openField_;  // parity and frame_num of a field awaiting its pair
  bool mbaffSeen_ = false, framesSeen_ = false, fieldsSeen_ = false;
  Json hdr_ = Json::object();
};

// The profile of a Format Range Extensions stream by its constraint flags (12, 10 and 8 bit, 4:2:2,
// 4:2:0, monochrome), with Intra and Still Picture added from the intra and one-picture flags.
std::string HEVCRangeExtensionsName(const cp::HEVC_ProfileInfo& p) {
  const uint32_t flags = p.max_12bit_constraint_flag << 5 | p.max_10bit_constraint_flag << 4 |
                         p.max_8bit_constraint_flag << 3 | p.max_422chroma_constraint_flag << 2 |
                         p.max_420chroma_constraint_flag << 1 | p.max_monochrome_constraint_flag;
  static constexpr std::pair<uint32_t, const char*> kNames[] = {
      {0b111111, "Monochrome"},     {0b110111, "Monochrome 10"},   {0b100111, "Monochrome 12"},
      {0b000111, "Monochrome 16"},  {0b100110, "Main 12"},         {0b110100, "Main 4:2:2 10"},
      {0b100100, "Main 4:2:2 12"},  {0b111000, "Main 4:4:4"},      {0b110000, "Main 4:4:4 10"},
      {0b100000, "Main 4:4:4 12"},  {0b111110, "Main"},            {0b110110, "Main 10"},
      {0b000000, "Main 4:4:4 16"},
  };
  for (const auto& [bits, name] : kNames) {
    if (bits != flags) continue;
    std::string profile = name;
    if (p.one_picture_only_constraint_flag) return profile + " Still Picture";
    if (p.intra_constraint_flag) return profile + " Intra";
    return profile;
  }
  return "Format Range Extensions";
}

std::string HEVCProfileName(const cp::HEVC_ProfileInfo& p) {
  uint32_t idc = p.profile_idc;
  // A stream may name its profile through the compatibility flags alone.
  for (uint32_t j = 1; idc == 0 && j < 32; ++j) {
    if (p.profile_compatibility_flag[j]) idc = j;
  }
  switch (idc) {
    case 1: return "Main";
    case 2: return "Main 10";
    case 3: return "Main Still Picture";
    case 4: return HEVCRangeExtensionsName(p);
    case 5: return "High Throughput";
    case 6: return "Multiview Main";
    case 7: return "Scalable Main";
    case 8: return "3D Main";
    case 9: return "Screen Content Coding";
    case 10: return "Scalable Range Extensions";
    case 11: return "High Throughput Screen Content Coding";
    default: return "unknown (" + std::to_string(idc) + ")";
  }
}

class HEVCSummariser : public SummariserBase {
 public:
  HEVCSummariser() : SummariserBase(Codec::H265) {}

 private:
  static constexpr uint32_t kVPS = 32, kSPS = 33, kPPS = 34, kPrefixSEI = 39, kSuffixSEI = 40;
  static constexpr uint32_t kRASL_N = 8, kRASL_R = 9, kBLA_W_LP = 16, kCRA = 21, kIRAPLast = 23;

  void Decode(const cp::NALU& nalu) override {
    if (nalu.size < 2 || (nalu.data[0] & 1) || (nalu.data[1] >> 3)) return;  // base layer only
    const uint32_t type = cp::HEVCNaluType(nalu);
    switch (type) {
      case kVPS: {
        cp::HEVC_VPS vps;
        vps.Decode(nalu);
        ps_.AddNALU(nalu);
        ParameterSet("VPS", vps.vps_video_parameter_set_id, nalu);
        return;
      }
      case kSPS: {
        auto sps = std::make_unique<cp::HEVC_SPS>();
        sps->Decode(nalu, ps_);
        ps_.AddNALU(nalu);
        ParameterSet("SPS", sps->sps_seq_parameter_set_id, nalu);
        return;
      }
      case kPPS: {
        auto pps = std::make_unique<cp::HEVC_PPS>();
        pps->Decode(nalu, ps_);
        ps_.AddNALU(nalu);
        ParameterSet("PPS", pps->pps_pic_parameter_set_id, nalu);
        return;
      }
      case kPrefixSEI:
      case kSuffixSEI: {
        cp::HEVC_SEI sei;
        sei.Decode(nalu);
        AddHDR(hdr_, sei);
        return;
      }
      default:
        Slice(nalu, type);
    }
  }

  void Slice(const cp::NALU& nalu, uint32_t type) {
    const std::shared_ptr<const cp::HEVCSliceHeader> header = cp::CreateSliceHeader(ps_, nalu);
    if (!header) return;
    if (header->first_slice_segment_in_pic_flag || !CurrentPicture()) {
      Picture& picture = BeginPicture();
      picture.randomAccess = type >= kBLA_W_LP && type <= kIRAPLast;
      // Leading pictures that may refer to pictures before a CRA or BLA make its GOP open.
      if (type == kRASL_N || type == kRASL_R) MarkOpenGop();
      if (!HasSequence()) {
        const auto pps = ps_.GetPPS(header->slice_pic_parameter_set_id);
        SetSequence(Sequence(*ps_.GetSPS(pps->pps_seq_parameter_set_id), ps_));
        SetCoding(fieldSequence_ ? "fields" : "progressive");
      }
      if (fieldSequence_) AddFieldPicture();
    }
    if (!header->dependent_slice_segment_flag) {
      AddSliceKind(header->slice_type == 0 ? kB : header->slice_type == 1 ? kP : kI);
    }
  }

  Json Sequence(const cp::HEVC_SPS& sps, const cp::HEVC_PS& ps) {
    const cp::HEVC_ProfileInfo& general = sps.profile_tier_level.general;
    Json sequence;
    sequence["profile"] = HEVCProfileName(general);
    sequence["profile_idc"] = general.profile_idc;
    sequence["tier"] = general.tier_flag ? "High" : "Main";
    // general_level_idc is 30 times the level.
    sequence["level"] = std::to_string(general.level_idc / 30) +
                        (general.level_idc % 30 ? "." + std::to_string(general.level_idc % 30 / 3) : "");
    sequence["level_idc"] = general.level_idc;
    AddSizes(sequence, sps.GetCodedSize(), sps.GetPictureSize());
    sequence["chroma_format"] = ChromaFormatName(sps.chroma_format_idc);
    sequence["bit_depth_luma"] = sps.bit_depth_luma_minus8 + 8;
    sequence["bit_depth_chroma"] = sps.bit_depth_chroma_minus8 + 8;
    const cp::HEVC_VUI& vui = sps.vui;
    if (sps.vui_parameters_present_flag) {
      AddCommonVUI(sequence, vui.common);
      fieldSequence_ = vui.field_seq_flag;
    }
    // Timing from the VUI, else from the VPS; a tick is a picture period.
    const auto vps = ps.GetVPS(sps.sps_video_parameter_set_id);
    if (sps.vui_parameters_present_flag && vui.vui_timing_info_present_flag && vui.vui_num_units_in_tick &&
        vui.vui_time_scale) {
      sequence["frame_rate"] = Ratio(vui.vui_time_scale, vui.vui_num_units_in_tick);
    } else if (vps && vps->vps_timing_info_present_flag && vps->vps_num_units_in_tick && vps->vps_time_scale) {
      sequence["frame_rate"] = Ratio(vps->vps_time_scale, vps->vps_num_units_in_tick);
    }
    return sequence;
  }

  void Extra(Json& summary) const override { summary.update(hdr_); }

  cp::HEVC_PS ps_;
  bool fieldSequence_ = false;
  Json hdr_ = Json::object();
};

void WriteText(std::string& text, const Json& value, int depth) {
  for (const auto& [key, member] : value.items()) {
    text.append(static_cast<size_t>(2 * depth), ' ');
    text += key;
    text += ':';
    if (member.is_object()) {
      text += '\n';
      WriteText(text, member, depth + 1);
      continue;
    }
    if (member.is_array() && !member.empty() && member.front().is_object()) {
      text += '\n';
      for (const Json& item : member) {
        text.append(static_cast<size_t>(2 * depth + 2), ' ');
        text += "-\n";
        WriteText(text, item, depth + 2);
      }
      continue;
    }
    text += ' ';
    if (member.is_array() && member.empty()) {
      text += "none";
    } else if (member.is_string()) {
      text += member.get<std::string>();
    } else if (member.is_array()) {
      for (size_t i = 0; i < member.size(); ++i) text += (i ? ", " : "") + member[i].dump();
    } else {
      text += member.dump();
    }
    text += '\n';
  }
}

}  // namespace

std::unique_ptr<Summariser> MakeSummariser(Codec codec) {
  if (codec == Codec::H264) return std::make_unique<H264Summariser>();
  return std::make_unique<HEVCSummariser>();
}

void WriteSummaryText(const Json& summary, std::FILE* out) {
  std::string text;
  WriteText(text, summary, 0);
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
    throw std::runtime_error("cannot write the summary");
  }
}

}  // namespace inspect
