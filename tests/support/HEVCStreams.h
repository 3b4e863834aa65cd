#pragma once
// The sample HEVC streams of tests/data/hevc (made by make-streams.sh), for the tests that decode
// every unit of them.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace codec_test {

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every .hevc file of the folder, in name order.
inline std::vector<std::filesystem::path> SampleStreams(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> streams;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".hevc") streams.push_back(entry.path());
  }
  std::sort(streams.begin(), streams.end());
  return streams;
}

}  // namespace codec_test
