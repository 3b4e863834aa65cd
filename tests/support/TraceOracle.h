#pragma once
// Our records against FFmpeg's trace_headers: the library's listing of a record flattened to the
// names FFmpeg prints ("name[i][j]"), the trace files that make-streams.sh keeps beside each
// sample stream, and the element-by-element comparison of the two.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

namespace codec_test {

// Our elements in listing order under FFmpeg's flat names: an element's own indices follow its
// name; a nested record's name and indices are dropped, except for the records FFmpeg names as
// a prefix of their elements (general_profile_idc, sub_layer_level_idc[i]), whose indices come
// first.
class FlatListing : public Orvane::Proc::CodecParsers::SyntaxListing {
 public:
  explicit FlatListing(std::map<std::string, std::string> prefixes = {}) : prefixes_(std::move(prefixes)) {}

  std::vector<std::pair<std::string, int64_t>> elements;

 protected:
  void OnElement(std::string_view name, std::span<const uint32_t> indices, int64_t value) override {
    std::string flat;
    std::string prefixIndices;
    for (const auto& [prefix, recordIndices] : open_) {
      flat += prefix;
      prefixIndices += recordIndices;
    }
    flat += name;
    flat += prefixIndices;
    for (uint32_t i : indices) flat += "[" + std::to_string(i) + "]";
    elements.emplace_back(std::move(flat), value);
  }
  void OnBeginRecord(std::string_view name, std::span<const uint32_t> indices) override {
    const auto it = prefixes_.find(std::string(name));
    std::string recordIndices;
    if (it != prefixes_.end()) {
      for (uint32_t i : indices) recordIndices += "[" + std::to_string(i) + "]";
    }
    open_.emplace_back(it == prefixes_.end() ? "" : it->second, recordIndices);
  }
  void OnEndRecord() override { open_.pop_back(); }

 private:
  std::map<std::string, std::string> prefixes_;
  std::vector<std::pair<std::string, std::string>> open_;  // prefix and indices of each open record
};

struct TraceUnit {
  std::string heading;  // "Sequence Parameter Set", "Slice Segment Header", ...
  std::vector<std::pair<std::string, int64_t>> elements;
};

// A trace file: a heading line per unit, then one "bit-offset name value" line per element.
inline std::vector<TraceUnit> ReadTrace(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<TraceUnit> units;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    int64_t offset = 0;
    std::string name;
    int64_t value = 0;
    if (words >> offset >> name >> value) {
      if (!units.empty()) units.back().elements.emplace_back(name, value);
    } else if (!line.empty()) {
      units.push_back({line, {}});
    }
  }
  return units;
}

// How a codec's trace differs from our listing.
struct TraceRules {
  std::map<std::string, std::string> renamed;  // FFmpeg's name (without indices) to ours
  // Traced elements that no record keeps: NAL unit header, reserved and trailing bits.
  std::function<bool(const std::string&)> notKept;
  // Where the trace goes on past what our decode reads; empty for a whole unit.
  std::function<bool(const std::string&)> end;
};

// Compares one unit element by element and in order: every traced element (up to rules.end) must
// be ours with the same name and value, and nothing of ours may be missing from the trace.
// Returns how many elements were compared.
inline size_t Compare(const TraceUnit& expected, const FlatListing& ours, const TraceRules& rules) {
  size_t at = 0;
  for (const auto& [traceName, value] : expected.elements) {
    if (rules.end && rules.end(traceName)) break;
    if (rules.notKept && rules.notKept(traceName)) continue;
    const std::string base = traceName.substr(0, traceName.find('['));
    const auto renamed = rules.renamed.find(base);
    const std::string name = renamed == rules.renamed.end() ? traceName : renamed->second + traceName.substr(base.size());
    if (at >= ours.elements.size() || ours.elements[at].first != name) {
      ADD_FAILURE() << traceName << " is traced where our listing has "
                    << (at < ours.elements.size() ? ours.elements[at].first : "nothing more");
      return at;
    }
    EXPECT_EQ(ours.elements[at].second, value) << traceName;
    ++at;
  }
  for (size_t i = at; i < ours.elements.size(); ++i) ADD_FAILURE() << ours.elements[i].first << " is ours but not traced";
  return at;
}

}  // namespace codec_test
