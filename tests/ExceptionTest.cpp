#include <gtest/gtest.h>

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/ProcException.h"
#include "Orvane/Throw.h"

// Boost 1.81 records the throw column and declares the accessor for it but leaves it undefined;
// this is the same accessor as the one it defines for the line.
template <>
struct boost::exception_detail::get_info<boost::throw_column> {
  static int* get(exception const& x) { return x.throw_column_ != -1 ? &x.throw_column_ : nullptr; }
};

// The classes of the family a host catches by, and what an exception carries: the description,
// the site (unit, function, line and column of the call) and a real call stack.
TEST(Exception, FamilyAndAttachments) {
  try {
    Orvane::ThrowException<Orvane::Proc::CodecParsers::BitstreamException>("unit", "f", "x");
  } catch (const Orvane::Proc::ProcException&) {
    ADD_FAILURE() << "a bitstream failure is no processing failure";
  } catch (const Orvane::Exception& e) {
    EXPECT_STREQ(e.what(), "Bitstream exception");
  }
  const int line = __LINE__ + 2;
  try {
    Orvane::ThrowException<Orvane::Proc::MuxerException>("Orvane/Proc/Muxers/MuxerHEIF/MuxerHEIF", "WriteHeader", "No streams");
  } catch (const Orvane::Proc::ProcException& e) {
    EXPECT_EQ(*boost::get_error_info<Orvane::ErrorDescription>(e), "No streams");
    EXPECT_TRUE(boost::diagnostic_information(e).starts_with("Orvane/Proc/Muxers/MuxerHEIF/MuxerHEIF(" + std::to_string(line) +
                                                             "): Throw in function WriteHeader"));
    EXPECT_EQ(*boost::get_error_info<boost::throw_column>(e), 57);  // the call's opening parenthesis
    const std::string stack = *boost::get_error_info<Orvane::ErrorCallStack>(e);
    EXPECT_NE(stack.find("FamilyAndAttachments"), std::string::npos) << stack;
  }
}
