#pragma once
// Our records against FFmpeg's trace_headers: the library's listing of a record flattened to the
// names FFmpeg prints ("name[i][j]"), the trace files that make-streams.sh keeps beside each
// sample stream, and the element-by-element comparison of the two.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

namespace codec_test {

// Our elements in listing order as FFmpeg prints them, "name[i][j]": the records around an element
// are dropped, and so are the indices of the elements of the `unnumbered` records, whose loops
// FFmpeg does not number. What a unit derives is kept apart, in `derived`.
class FlatListing : public Orvane::Proc::CodecParsers::SyntaxListing {
 public:
  explicit FlatListing(std::set<std::string, std::less<>> unnumbered = {}) : unnumbered_(std::move(unnumbered)) {}

  std::vector<std::pair<std::string, int64_t>> elements, derived;

 protected:
  void OnElement(std::string_view name, std::span<const uint32_t> indices, int64_t value) override {
    std::string flat(name);
    const bool numbered = std::none_of(open_.begin(), open_.end(), [&](const auto& r) { return unnumbered_.contains(r); });
    for (uint32_t i : indices) flat += numbered ? "[" + std::to_string(i) + "]" : std::string();
    (!open_.empty() && open_[0] == Orvane::Proc::CodecParsers::kDerived ? derived : elements).emplace_back(flat, value);
  }
  void OnBeginRecord(std::string_view name, std::span<const uint32_t>) override { open_.emplace_back(name); }
  void OnEndRecord() override { open_.pop_back(); }

 private:
  std::set<std::string, std::less<>> unnumbered_;
  std::vector<std::string> open_;
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
