#pragma once
// A stream at a glance, as people first look at one: profile, sizes, colour, frame rate, picture
// counts, random-access points, parameter-set changes and refused units, gathered from the units
// through the same decoders the listing uses.
#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "NalUnits.h"

namespace inspect {

class Summariser {
 public:
  virtual ~Summariser() = default;
  virtual void Unit(const cp::NALU& nalu, const UnitPlace& place) = 0;
  // What the units read so far say, as one object; its text form is WriteSummaryText's.
  virtual nlohmann::ordered_json Summary() const = 0;
};

std::unique_ptr<Summariser> MakeSummariser(Codec codec);

// One "name: value" line per member, nested objects indented under their name, lists of values on
// one line.
void WriteSummaryText(const nlohmann::ordered_json& summary, std::FILE* out);

}  // namespace inspect
