// picture-size STREAM.hevc: cuts an Annex B HEVC stream into NAL units, decodes its parameter sets
// and its first slice segment header, and prints "WIDTHxHEIGHT", the picture size of the SPS that
// slice refers to. A stream the parsers refuse is one line on stderr and status 1.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <boost/exception/get_error_info.hpp>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"

using namespace Orvane::Proc::CodecParsers;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: picture-size STREAM.hevc\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "picture-size: cannot open %s\n", argv[1]);
    return 2;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
  try {
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    HEVC_PS ps;
    for (const NALU& nalu : nalus) {
      ps.AddNALU(nalu);
      if (const auto slice = CreateSliceHeader(ps, nalu)) {
        const auto pps = ps.GetPPS(slice->slice_pic_parameter_set_id);
        const auto [width, height] = ps.GetSPS(pps->pps_seq_parameter_set_id)->GetPictureSize();
        std::printf("%ux%u\n", width, height);
        return 0;
      }
    }
    std::fprintf(stderr, "picture-size: no slice in %s\n", argv[1]);
  } catch (const BitstreamException& e) {
    const std::string* description = boost::get_error_info<Orvane::ErrorDescription>(e);
    std::fprintf(stderr, "picture-size: %s\n", description ? description->c_str() : e.what());
  }
  return 1;
}
