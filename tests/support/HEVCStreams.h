#pragma once
// The sample streams of tests/data/hevc and tests/data/h264 (made by make-streams.sh), for the
// tests that decode every unit of them.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

namespace codec_test {

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file of the folder with that extension, in name order.
inline std::vector<std::filesystem::path> SampleStreams(const std::filesystem::path& folder,
                                                        const char* extension = ".hevc") {
  std::vector<std::filesystem::path> streams;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == extension) streams.push_back(entry.path());
  }
  std::sort(streams.begin(), streams.end());
  return streams;
}

inline size_t CountAnnexBNalus(const std::vector<uint8_t>& bytes) {
  std::vector<Orvane::Proc::CodecParsers::NALU> nalus;
  Orvane::Proc::CodecParsers::FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
  return nalus.size();
}

}  // namespace codec_test
