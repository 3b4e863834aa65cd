#pragma once
#include <cstdint>
#include <string>

#include "Orvane/Core/Property.h"
#include "Orvane/Export.h"

namespace Orvane::Proc::Statistics {

struct StatisticInfo {
  std::string name;
  uint64_t timeNs = 0;
  uint64_t count = 0;
  uint64_t kind = 0;
  std::string implementation;
};

// A property named after the record, with one string child per other field
// ("TimeNs", "Count", "Kind", "Implementation"), numbers in decimal.
ORVANE_API Core::Property MakeStatistics(const StatisticInfo& info);

}  // namespace Orvane::Proc::Statistics
