#include <gtest/gtest.h>

#include <boost/exception/diagnostic_information.hpp>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/ProcException.h"
#include "Orvane/Throw.h"
#include "support/HostFakes.h"

namespace {

using Orvane::Proc::MuxerException;
using Orvane::Proc::ProcException;
using Orvane::Proc::CodecParsers::BitstreamException;
using testing_support::ExpectThrow;
using testing_support::ThrowReport;

[[noreturn]] void ThrowMuxerFailure() {
  Orvane::ThrowException<MuxerException>("Orvane/Proc/Muxers/MuxerHEIF/MuxerHEIF", "WriteHeader", "No streams");
}

[[noreturn]] void ThrowBitstreamFailure() {
  Orvane::ThrowException<BitstreamException>("Orvane/Proc/CodecParsers/BitsReader", "operator ()", "End of stream");
}

// Which handler of a chain catches each class of the family.
template <class Thrower>
std::string Catcher(Thrower thrower) {
  try {
    thrower();
  } catch (const ProcException&) {
    return "ProcException";
  } catch (const Orvane::Exception&) {
    return "Exception";
  }
  return "none";
}

TEST(Exception, CatchRules) {
  EXPECT_EQ(Catcher(ThrowMuxerFailure), "ProcException");
  EXPECT_EQ(Catcher(ThrowBitstreamFailure), "Exception");
  EXPECT_THROW(ThrowMuxerFailure(), MuxerException);
  EXPECT_THROW(ThrowMuxerFailure(), std::exception);
  EXPECT_THROW(ThrowMuxerFailure(), boost::exception);
  EXPECT_THROW(ThrowBitstreamFailure(), std::exception);
  EXPECT_THROW(ThrowBitstreamFailure(), boost::exception);
  try {
    ThrowBitstreamFailure();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Bitstream exception");
  }
}

TEST(Exception, RecordsDescriptionCallStackAndSite) {
  const int line = __LINE__ + 2;
  const ThrowReport r = ExpectThrow<Orvane::Exception>([] {
    Orvane::ThrowException<BitstreamException>("Orvane/Proc/CodecParsers/BitsReader", "operator ()", "End of stream");
  });
  EXPECT_EQ(r.description, "End of stream");
  EXPECT_EQ(r.file, "Orvane/Proc/CodecParsers/BitsReader");
  EXPECT_EQ(r.function, "operator ()");
  EXPECT_EQ(r.line, line);
  EXPECT_EQ(r.column, 47);  // the compiler places a call at its opening parenthesis
  // A real stack: the frames name the functions that led to the throw.
  EXPECT_NE(r.callStack.find("RecordsDescriptionCallStackAndSite"), std::string::npos) << r.callStack;
}

TEST(Exception, DiagnosticInformationListsSiteAndAttachments) {
  try {
    ThrowMuxerFailure();
  } catch (const boost::exception& e) {
    const std::string text = boost::diagnostic_information(e);
    EXPECT_NE(text.find("Orvane/Proc/Muxers/MuxerHEIF/MuxerHEIF"), std::string::npos) << text;
    EXPECT_NE(text.find("WriteHeader"), std::string::npos);
    EXPECT_NE(text.find("No streams"), std::string::npos);
  }
}

}  // namespace
