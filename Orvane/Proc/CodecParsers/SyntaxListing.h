#pragma once
// The coded elements of decoded syntax records, by name and in bitstream order, for whoever shows
// or compares them: the inspector's text and JSON writers, and the tests that hold our records
// against other decoders' traces.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace Orvane::Proc::CodecParsers {

struct CommonVUI;
struct H264_SPS;
struct H264_PPS;
struct HEVC_VPS;
struct HEVC_SPS;
struct HEVC_PPS;
struct HEVCSliceHeader;
struct HEVC_SEI;
struct H264SliceHeader;
struct H264Slice;
struct H264_SEI;

// Receives the elements of a record as its syntax coded them, named as ITU-T H.264 and H.265 name
// them: an element under the standard's name, with the standard's indices or, in a loop the
// standard writes without them, the loop's (outermost first); a syntax structure the standard
// writes as a table of its own (vui_parameters, hrd_parameters, profile_tier_level,
// pred_weight_table, sei_message, ...) as a nested record of the table's name, with an index where
// the standard calls it with one or in a loop. What the syntax did not code is not listed: an
// element absent under its condition, array entries beyond the coded count, inferred values. What
// a record keeps derived rather than coded comes last, in the unit's one record kDerived, never
// among the coded elements.
inline constexpr std::string_view kDerived = "derived";

class SyntaxListing {
 public:
  virtual ~SyntaxListing() = default;

  void Element(std::string_view name, int64_t value) { OnElement(name, {}, value); }
  void Element(std::string_view name, std::initializer_list<uint32_t> indices, int64_t value) {
    OnElement(name, std::span(indices.begin(), indices.size()), value);
  }
  void BeginRecord(std::string_view name) { OnBeginRecord(name, {}); }
  void BeginRecord(std::string_view name, std::initializer_list<uint32_t> indices) {
    OnBeginRecord(name, std::span(indices.begin(), indices.size()));
  }
  void EndRecord() { OnEndRecord(); }

 protected:
  virtual void OnElement(std::string_view name, std::span<const uint32_t> indices, int64_t value) = 0;
  virtual void OnBeginRecord(std::string_view name, std::span<const uint32_t> indices) = 0;
  virtual void OnEndRecord() = 0;
};

// The H.265 records. A PPS is listed against the SPS it was decoded with, a slice segment header
// against its NAL unit type and the SPS and PPS it was decoded with: their fields decide what the
// record codes.
void ListSyntax(const HEVC_VPS& vps, SyntaxListing& out);
void ListSyntax(const HEVC_SPS& sps, SyntaxListing& out);
void ListSyntax(const HEVC_PPS& pps, const HEVC_SPS& sps, SyntaxListing& out);
void ListSyntax(const HEVCSliceHeader& header, uint32_t nal_unit_type, const HEVC_SPS& sps, const HEVC_PPS& pps,
                SyntaxListing& out);
// Each H.265 sei_message with its payload's decoded form.
void ListSyntax(const HEVC_SEI& sei, SyntaxListing& out);

// The VUI head that the H.264 and H.265 VUIs share, as part of the listing of either.
void ListSyntax(const CommonVUI& vui, SyntaxListing& out);

// The H.264 records. A PPS is listed against the SPS it was decoded with, whose profile and chroma
// format decide what the PPS codes. An SPS or PPS that codes a scaling matrix lists, under
// kDerived, the lists it puts in force (ScalingList4x4[i][j], ScalingList8x8[i][j], j in scan
// order): the records keep those rather than the coded deltas.
void ListSyntax(const H264_SPS& sps, SyntaxListing& out);
void ListSyntax(const H264_PPS& pps, const H264_SPS& sps, SyntaxListing& out);

// The H.264 slice header, listed against the SPS and PPS it holds (nothing without them); a whole
// slice adds the slice_id of a partition A. Each sei_message with its payload's decoded form.
void ListSyntax(const H264SliceHeader& header, SyntaxListing& out);
void ListSyntax(const H264Slice& slice, SyntaxListing& out);
void ListSyntax(const H264_SEI& sei, SyntaxListing& out);

}  // namespace Orvane::Proc::CodecParsers
