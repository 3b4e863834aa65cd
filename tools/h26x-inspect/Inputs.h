#pragma once
// The NAL units of an input file, in stream order: a raw Annex B stream scanned in blocks with the
// library's NAL unit scan, or anything libavformat demuxes read packet by packet through the
// library's stream parsers.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "NalUnits.h"

namespace inspect {

// An input that cannot be read; the message names it.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Receives each unit with its place; returns false to stop the reading.
using UnitSink = std::function<bool(const cp::NALU& nalu, const UnitPlace& place)>;

// Whether the file starts like an Annex B stream: zero bytes, 00 00 01, then a NAL unit header
// whose forbidden_zero_bit is 0 (which tells it from an MPEG program stream or elementary stream).
bool LooksLikeAnnexB(const std::string& path);

// The codec of a raw stream: `given`, else what the file extension says, else what the first NAL
// units look like.
Codec RawStreamCodec(const std::string& path, std::optional<Codec> given);

void ReadRawStream(const std::string& path, const UnitSink& sink);

// Reads the first H.264 or H.265 video stream (of `given` codec, when given) of a container and
// tells its codec before the first unit.
void ReadContainer(const std::string& path, std::optional<Codec> given, const std::function<void(Codec)>& codecFound,
                   const UnitSink& sink);

}  // namespace inspect
