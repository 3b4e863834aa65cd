#pragma once
// The root of the framework's exception family, its two attachments and call-stack capture.
#include <exception>
#include <string>

#include <boost/exception/exception.hpp>
#include <boost/exception/info.hpp>

#include "Orvane/Export.h"

namespace Orvane {

class ORVANE_API Exception : public virtual std::exception, public virtual boost::exception {
 public:
  Exception() = default;
  Exception(const Exception&) = default;
  ~Exception() override;
};

struct TagDescription {};
struct TagCallStack {};
using ErrorDescription = boost::error_info<TagDescription, std::string>;
using ErrorCallStack = boost::error_info<TagCallStack, std::string>;

// The calling thread's stack, one frame a line with function names and source lines where the
// binary carries debug information.
ORVANE_API std::string GetCallStack();

}  // namespace Orvane
