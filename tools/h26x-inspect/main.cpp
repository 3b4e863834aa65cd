// h26x-inspect: every decoded field of the NAL units of an H.264 or H.265 stream, as a syntax
// trace or as one JSON document.
#include <cstdio>
#include <iostream>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include <boost/exception/get_error_info.hpp>
#include <glog/logging.h>

extern "C" {
#include <libavutil/log.h>
}

#include "Inputs.h"
#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Summary.h"
#include "Writers.h"
#include "common/CommandLine.h"

namespace {

using namespace inspect;

constexpr const char kUsage[] =
    "Usage: h26x-inspect [options] INPUT\n"
    "Lists every NAL unit of an H.264 or H.265 stream with every decoded field of its parameter sets\n"
    "and slice headers. INPUT is a raw Annex B stream or a file FFmpeg demuxes (MP4, Matroska, MPEG-TS).\n"
    "\n"
    "Options:\n"
    "  --summary         the stream at a glance instead of its units: profile, sizes, colour,\n"
    "                    frame rate, pictures by type, random-access points, parameter-set changes\n"
    "  --json            one JSON document instead of text\n"
    "  --first N         stop after N NAL units\n"
    "  --types LIST      only these nal_unit_types (e.g. 32-34 or 7,8)\n"
    "  --codec h264|h265 when the input does not say (raw streams: by file extension, else by probing)\n"
    "  -h, --help        this text\n";

using tools::UsageError;

struct Options {
  std::string input;
  bool json = false;
  bool summary = false;
  std::optional<uint64_t> first;
  std::optional<std::set<uint32_t>> types;
  std::optional<Codec> codec;
};

uint32_t ParseType(const std::string& text) {
  size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(text, &used);
  } catch (const std::exception&) {
  }
  if (text.empty() || used != text.size() || text[0] == '-' || text[0] == '+' || value > 63) {
    throw UsageError("--types: " + text + " is not a nal_unit_type (0-63)");
  }
  return static_cast<uint32_t>(value);
}

// "32-34", "7,8", "1,5-9".
std::set<uint32_t> ParseTypes(const std::string& list) {
  std::set<uint32_t> types;
  size_t from = 0;
  while (from <= list.size()) {
    const size_t comma = std::min(list.find(',', from), list.size());
    const std::string item = list.substr(from, comma - from);
    const size_t dash = item.find('-', 1);
    const uint32_t low = ParseType(item.substr(0, dash));
    const uint32_t high = dash == std::string::npos ? low : ParseType(item.substr(dash + 1));
    if (high < low) throw UsageError("--types: " + item + " is an empty range");
    for (uint32_t t = low; t <= high; ++t) types.insert(t);
    from = comma + 1;
  }
  return types;
}

Options ParseArguments(int argc, char** argv) {
  Options options;
  std::string first;
  std::string types;
  std::string codec;
  bool help = false;
  CLI::App app("h26x-inspect", "h26x-inspect");
  app.add_flag("--json", options.json);
  app.add_flag("--summary", options.summary);
  app.add_option("--first", first);
  app.add_option("--types", types);
  app.add_option("--codec", codec);
  tools::AddHelpFlag(app, help);
  const std::vector<std::string> inputs = tools::ParseOptions(app, argc, argv);
  if (help) {
    std::cout << kUsage;
    std::exit(0);
  }
  if (inputs.size() > 1) throw UsageError("one input only");
  if (!inputs.empty()) options.input = inputs.front();
  if (options.input.empty()) throw UsageError("no input");
  if (app.count("--first")) {
    size_t used = 0;
    try {
      options.first = std::stoull(first, &used);
    } catch (const std::exception&) {
    }
    if (!options.first || used != first.size() || first[0] == '-' || *options.first == 0) {
      throw UsageError("--first needs a number of NAL units from 1");
    }
  }
  if (app.count("--types")) options.types = ParseTypes(types);
  if (options.summary && (options.first || options.types)) {
    throw UsageError("--summary reads the whole stream: --first and --types do not go with it");
  }
  if (app.count("--codec")) {
    if (codec != "h264" && codec != "h265") throw UsageError("--codec must be h264 or h265");
    options.codec = codec == "h264" ? Codec::H264 : Codec::H265;
  }
  return options;
}

std::string Describe(const boost::exception& e) {
  if (const std::string* d = boost::get_error_info<Orvane::ErrorDescription>(e)) return *d;
  return "refused";
}

// Lists the units the input gives, decoding every one so that the parameter sets in force are
// known even for units the type filter leaves out of the listing.
class Inspector {
 public:
  Inspector(const Options& options, Writer& writer) : options_(options), writer_(writer) {}

  void Start(Codec codec) {
    decoder_ = MakeDecoder(codec);
    writer_.Begin(options_.input, codec);
  }

  bool Unit(const cp::NALU& nalu, const UnitPlace& place) {
    const uint32_t type = decoder_->Type(nalu);
    const bool listed = !options_.types || options_.types->contains(type);
    if (!listed) {
      DecodeUnlisted(nalu);
      return true;
    }
    writer_.BeginUnit(place, nalu.size, type, decoder_->TypeName(type));
    try {
      decoder_->Decode(nalu, writer_.Fields());
    } catch (const Orvane::Proc::CodecParsers::BitstreamException& e) {
      writer_.Error(Describe(e));
    }
    writer_.EndUnit();
    return !options_.first || ++listedCount_ < *options_.first;
  }

 private:
  // What a listing would say is dropped; only the collected parameter sets matter.
  class Discard : public cp::SyntaxListing {
    void OnElement(std::string_view, std::span<const uint32_t>, int64_t) override {}
    void OnBeginRecord(std::string_view, std::span<const uint32_t>) override {}
    void OnEndRecord() override {}
  };

  void DecodeUnlisted(const cp::NALU& nalu) {
    Discard discard;
    try {
      decoder_->Decode(nalu, discard);
    } catch (const Orvane::Proc::CodecParsers::BitstreamException&) {
    }
  }

  const Options& options_;
  Writer& writer_;
  std::unique_ptr<UnitDecoder> decoder_;
  uint64_t listedCount_ = 0;
};

// Reads the whole stream into a summary and writes it.
void Summarise(const Options& options) {
  std::unique_ptr<Summariser> summariser;
  const auto unit = [&summariser](const cp::NALU& nalu, const UnitPlace& place) {
    summariser->Unit(nalu, place);
    return true;
  };
  if (LooksLikeAnnexB(options.input)) {
    summariser = MakeSummariser(RawStreamCodec(options.input, options.codec));
    ReadRawStream(options.input, unit);
  } else {
    ReadContainer(options.input, options.codec, [&summariser](Codec codec) { summariser = MakeSummariser(codec); }, unit);
  }
  nlohmann::ordered_json summary = {{"input", options.input}};
  summary.update(summariser->Summary());
  if (options.json) {
    const std::string text = summary.dump(2) + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      throw std::runtime_error("cannot write the summary");
    }
  } else {
    WriteSummaryText(summary, stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = ParseArguments(argc, argv);
    // Refusals are listed with the units; the libraries' own log would only repeat them.
    av_log_set_level(AV_LOG_QUIET);
    FLAGS_logtostderr = true;
    FLAGS_minloglevel = google::GLOG_FATAL;

    if (options.summary) {
      Summarise(options);
      return 0;
    }
    const std::unique_ptr<Writer> writer = options.json ? MakeJsonWriter(stdout) : MakeTextWriter(stdout);
    Inspector inspector(options, *writer);
    const auto unit = [&inspector](const cp::NALU& nalu, const UnitPlace& place) { return inspector.Unit(nalu, place); };
    if (LooksLikeAnnexB(options.input)) {
      inspector.Start(RawStreamCodec(options.input, options.codec));
      ReadRawStream(options.input, unit);
    } else {
      ReadContainer(options.input, options.codec, [&inspector](Codec codec) { inspector.Start(codec); }, unit);
    }
    writer->End();
    return 0;
  } catch (const UsageError& e) {
    std::cerr << "h26x-inspect: " << e.what() << "\nTry 'h26x-inspect --help'.\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "h26x-inspect: " << e.what() << "\n";
  }
  return 1;
}
