#include "Orvane/Exception.h"

#include <boost/stacktrace.hpp>

namespace Orvane {

Exception::~Exception() = default;

std::string GetCallStack() {
  // Skip this function's own frame.
  return boost::stacktrace::to_string(boost::stacktrace::stacktrace(1, static_cast<std::size_t>(-1)));
}

}  // namespace Orvane
