#include "Orvane/Proc/Statistics.h"

namespace Orvane::Proc::Statistics {

Core::Property MakeStatistics(const StatisticInfo& info) {
  Core::Property stats(info.name);
  stats.SetChild("TimeNs", std::to_string(info.timeNs));
  stats.SetChild("Count", std::to_string(info.count));
  stats.SetChild("Kind", std::to_string(info.kind));
  stats.SetChild("Implementation", info.implementation);
  return stats;
}

}  // namespace Orvane::Proc::Statistics
