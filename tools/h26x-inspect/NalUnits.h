#pragma once
// What the inspector knows of one NAL unit, and the per-codec decoding that turns a unit into its
// listed fields, with the parameter sets of the stream collected as they come.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

namespace inspect {

namespace cp = Orvane::Proc::CodecParsers;

enum class Codec { H264, H265 };

const char* CodecName(Codec codec);

// A unit where the input holds it: `packet` is absent for a raw stream (offsets count from the
// start of the file) and -1 for a container's codec configuration (offsets count within it).
struct UnitPlace {
  uint64_t index;
  std::optional<int64_t> packet;
  uint64_t offset;
};

class UnitDecoder {
 public:
  virtual ~UnitDecoder() = default;
  virtual uint32_t Type(const cp::NALU& nalu) const = 0;
  virtual std::string TypeName(uint32_t type) const = 0;
  // Decodes the unit, stores it if it is a parameter set and lists its record; false for a unit
  // without a decoded record. A unit the decoders refuse throws their exception before anything
  // is listed.
  virtual bool Decode(const cp::NALU& nalu, cp::SyntaxListing& fields) = 0;
};

std::unique_ptr<UnitDecoder> MakeDecoder(Codec codec);

}  // namespace inspect
