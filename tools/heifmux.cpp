// heifmux: muxes the first picture of every HEVC video stream of its inputs into one HEIF file,
// through the HEIF muxer plug-in loaded the way the host framework loads it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>
#include <glog/logging.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Exception.h"
#include "Orvane/Proc/Data.h"
#include "Orvane/Proc/Muxer.h"

namespace {

constexpr const char kUsage[] =
    "Usage: heifmux [options] INPUT... -o OUTPUT.heic\n"
    "Writes the first picture of every HEVC video stream of the inputs as one image of a HEIF file.\n"
    "\n"
    "Options:\n"
    "  -o, --output PATH        the HEIF file to write (.heic or .heif)\n"
    "  --primary N              make image N (1-based, in input order) the primary image\n"
    "  --exif F.G.T=VALUE       an Exif entry for the primary image, e.g. Exif.Image.Make=Maker\n"
    "                           (repeatable)\n"
    "  --plugin PATH            the muxer plug-in to load (default: the installed or built one)\n"
    "  -v, --verbose            show the plug-in's and FFmpeg's log\n"
    "  -h, --help               this text\n"
    "  --version                the program's version\n";

struct Options {
  std::vector<std::string> inputs;
  std::string output;
  std::optional<unsigned> primary;
  std::vector<std::pair<std::string, std::string>> exif;
  std::string plugin;
  bool verbose = false;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An Exif key names its family, group and tag, as Exif.Image.Make does.
bool IsExifKey(const std::string& key) {
  const size_t first = key.find('.');
  const size_t second = first == std::string::npos ? first : key.find('.', first + 1);
  return first != std::string::npos && first > 0 && second != std::string::npos && second > first + 1 &&
         second + 1 < key.size() && key.find('.', second + 1) == std::string::npos;
}

Options ParseArguments(int argc, char** argv) {
  Options options;
  std::string primary;
  std::vector<std::string> exif;
  bool help = false;
  bool version = false;
  CLI::App app("heifmux", "heifmux");
  app.set_help_flag();
  app.allow_extras();
  app.add_option("inputs", options.inputs);
  app.add_option("-o,--output", options.output);
  app.add_option("--primary", primary);
  app.add_option("--exif", exif);
  app.add_option("--plugin", options.plugin);
  app.add_flag("-v,--verbose", options.verbose);
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& e) {
    // CLI11 names the option before a colon.
    const std::string what = e.what();
    throw UsageError("option " + what.substr(0, what.find(':')) + " needs a value");
  } catch (const CLI::ParseError& e) {
    throw UsageError(e.what());
  }
  if (help) {
    std::cout << kUsage;
    std::exit(0);
  }
  if (version) {
    std::cout << "heifmux " << ORVANE_VERSION << "\n";
    std::exit(0);
  }
  for (const std::string& extra : app.remaining()) {
    if (extra.size() > 1 && extra[0] == '-') throw UsageError("unknown option " + extra);
    options.inputs.push_back(extra);
  }
  if (app.count("--primary")) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(primary.c_str(), &end, 10);
    if (primary.empty() || *end || primary[0] == '-' || parsed == 0 || parsed > 65535)
      throw UsageError("--primary needs an image number from 1");
    options.primary = static_cast<unsigned>(parsed);
  }
  for (const std::string& entry : exif) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("--exif needs Family.Group.Tag=VALUE");
    const std::string key = entry.substr(0, eq);
    if (!IsExifKey(key)) throw UsageError("--exif " + key + ": the key must be Family.Group.Tag, e.g. Exif.Image.Make");
    options.exif.emplace_back(key, entry.substr(eq + 1));
  }
  if (options.inputs.empty()) throw UsageError("no input");
  if (options.output.empty()) throw UsageError("no output (-o OUTPUT.heic)");
  return options;
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// One HEVC stream: its description and its first coded picture.
struct Image {
  boost::intrusive_ptr<Orvane::Conf::FormatCodecVideo> codec;
  boost::intrusive_ptr<Orvane::Proc::IDataPacket> picture;
  std::string origin;
};

std::string Describe(const boost::exception& e) {
  if (const std::string* d = boost::get_error_info<Orvane::ErrorDescription>(e)) return *d;
  return boost::diagnostic_information(e);
}

namespace cp = Orvane::Proc::CodecParsers;

// A packet's NAL units behind 4-byte lengths: the framing the muxer's hvcC box declares.
boost::intrusive_ptr<Orvane::Proc::IDataPacket> WithFourByteLengths(const AVPacket& source,
                                                                   const std::vector<cp::NALU>& nalus) {
  const cp::BlobMp4Maker maker(4, nalus);
  AVPacket* packet = Orvane::Proc::CreatePacket(maker.TotalSize());
  maker.Write(packet->data);
  if (av_packet_copy_props(packet, &source) < 0) {
    av_packet_free(&packet);
    throw std::bad_alloc();
  }
  return Orvane::Proc::DataPacketFF::Create(packet, 0, packet->pts, packet->dts, packet->duration);
}

// The stream's decoder configuration and first picture, read with the codec parsers: the
// configuration as an hvcC record or Annex B parameter sets, or, where the container has none,
// the parameter sets that the first picture carries in band.
Image MakeImage(const std::string& origin, const AVCodecParameters& par, const AVPacket& first) {
  const auto packetBlob = Orvane::Proc::BlobFF::Create(first.data, static_cast<size_t>(first.size));
  Orvane::BlobPtr configuration;
  if (par.extradata && par.extradata_size > 0) {
    configuration = Orvane::Proc::BlobFF::Create(par.extradata, static_cast<size_t>(par.extradata_size));
  } else {
    auto inBand = std::make_shared<cp::HEVCParser>(false);
    inBand->ParsePacketData(packetBlob, std::nullopt);
    std::vector<cp::NALU> parameterSets;
    for (const cp::NALU& nalu : inBand->nalus()) {
      const uint32_t type = cp::HEVCNaluType(nalu);
      if (type >= 32 && type <= 34) parameterSets.push_back(nalu);
    }
    if (parameterSets.empty()) throw std::runtime_error(origin + " has no decoder configuration");
    configuration = cp::MakeAnnexBBlob(parameterSets);
  }
  const auto parser = cp::HEVCParser::CreateFromCodecConfiguration(configuration);
  const auto ps = parser->GetParameterSets();
  if (ps->vps_list.empty() || ps->sps_list.empty()) throw std::runtime_error(origin + " has no VPS or no SPS");
  const auto [width, height] = ps->sps_list.front()->GetPictureSize();

  Image image;
  image.origin = origin;
  image.codec = Orvane::Conf::FormatCodecVideo::Create(width, height);
  image.codec->SetPrivateData(configuration);
  const auto picture = parser->ParsePacket(packetBlob);
  if (picture->nalus().empty()) throw std::runtime_error(origin + ": the first packet holds no NAL unit");
  if (parser->nalLengthSize() == 4u) {
    AVPacket* own = av_packet_clone(&first);
    if (!own) throw std::bad_alloc();
    image.picture = Orvane::Proc::DataPacketFF::Create(own, 0, own->pts, own->dts, own->duration);
  } else {
    image.picture = WithFourByteLengths(first, picture->nalus());
  }
  return image;
}

std::vector<Image> ReadImages(const std::string& path) {
  AVFormatContext* format = nullptr;
  if (int rc = avformat_open_input(&format, path.c_str(), nullptr, nullptr); rc < 0)
    throw std::runtime_error("cannot read " + path + ": " + AvError(rc));
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> closer(format, [](AVFormatContext* f) {
    avformat_close_input(&f);
  });
  if (int rc = avformat_find_stream_info(format, nullptr); rc < 0)
    throw std::runtime_error("cannot read " + path + ": " + AvError(rc));

  // Stream index to image slot, for the HEVC video streams in stream order.
  std::vector<int> slot(format->nb_streams, -1);
  int count = 0;
  for (unsigned s = 0; s < format->nb_streams; ++s) {
    const AVCodecParameters* par = format->streams[s]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && par->codec_id == AV_CODEC_ID_HEVC) slot[s] = count++;
  }
  if (count == 0) throw std::runtime_error(path + ": no HEVC video stream");

  std::vector<std::optional<Image>> images(static_cast<size_t>(count));
  int missing = count;
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
  while (missing && av_read_frame(format, packet.get()) >= 0) {
    const unsigned s = static_cast<unsigned>(packet->stream_index);
    const int index = s < slot.size() ? slot[s] : -1;
    if (index >= 0 && !images[static_cast<size_t>(index)] && packet->size > 0) {
      const std::string origin = path + " stream #" + std::to_string(s);
      try {
        images[static_cast<size_t>(index)] = MakeImage(origin, *format->streams[s]->codecpar, *packet);
      } catch (const boost::exception& e) {
        throw std::runtime_error(origin + ": " + Describe(e));
      }
      --missing;
    }
    av_packet_unref(packet.get());
  }
  std::vector<Image> result;
  for (unsigned s = 0; s < format->nb_streams; ++s) {
    if (slot[s] < 0) continue;
    auto& image = images[static_cast<size_t>(slot[s])];
    if (!image) throw std::runtime_error(path + " stream #" + std::to_string(s) + ": no coded picture");
    result.push_back(std::move(*image));
  }
  return result;
}

std::string DefaultPlugin() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path installed = self.parent_path().parent_path() / ORVANE_PLUGIN_INSTALL_SUBDIR / "libMuxerHEIF.so";
    if (std::filesystem::exists(installed)) return installed.string();
  }
  return MUXERHEIF_BUILD_PATH;
}

class Registry : public Orvane::IRegistry {
 public:
  void RegisterMuxerCreator(const boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>& creator) override {
    creators.push_back(creator);
  }
  std::vector<boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>> creators;
};

std::string FormatOf(const std::filesystem::path& output) {
  std::string extension = output.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".heif" ? Orvane::Conf::IFormatFile::FORMAT_HEIF : Orvane::Conf::IFormatFile::FORMAT_HEIC;
}

// The muxer writes its file when closed and again when released; it writes into a temporary file
// beside the output, so that a refused input leaves nothing half-written behind.
void Mux(const Options& options, std::vector<Image>& images, Registry& registry) {
  const std::filesystem::path output(options.output);
  const std::string format = FormatOf(output);
  Orvane::Proc::IMuxerCreator* creator = nullptr;
  for (auto& c : registry.creators)
    if (c->GetFormatName() == format && c->IsAvailable()) creator = c.get();
  if (!creator) throw std::runtime_error("the plug-in offers no muxer for " + format);

  std::filesystem::path temporary = output;
  temporary += ".part-" + std::to_string(getpid());
  struct RemoveOnFailure {
    std::filesystem::path path;
    bool keep = false;
    ~RemoveOnFailure() {
      std::error_code ec;
      if (!keep) std::filesystem::remove(path, ec);
    }
  } guard{temporary};
  std::error_code ec;
  uintmax_t closedSize = 0;
  {
    auto muxer = creator->CreateMuxer(Orvane::Conf::FormatFile::Create(format),
                                      Orvane::Proc::DataOutput::Create(Orvane::ioPath(temporary)));
    std::vector<uint32_t> ids;
    for (Image& image : images) ids.push_back(muxer->AddStream(image.codec));
    muxer->WriteHeader(1);
    for (size_t i = 0; i < images.size(); ++i) muxer->Write(ids[i], images[i].picture);
    try {
      muxer->Close();
    } catch (const boost::exception& e) {
      throw std::runtime_error("cannot write " + options.output + ": " + Describe(e));
    }
    closedSize = std::filesystem::file_size(temporary, ec);
  }  // the release writes the file once more, from the same model, and can only log a failure
  // So the file is judged after the release: it must hold what the explicit Close wrote.
  if (ec || closedSize == 0 || std::filesystem::file_size(temporary, ec) != closedSize || ec)
    throw std::runtime_error("cannot write " + options.output);
  std::filesystem::rename(temporary, output, ec);
  if (ec) throw std::runtime_error("cannot write " + options.output + ": " + ec.message());
  guard.keep = true;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options options = ParseArguments(argc, argv);
    // Failures reach the user as one line of ours; the libraries' own log is for --verbose.
    av_log_set_level(options.verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    FLAGS_logtostderr = true;
    FLAGS_minloglevel = options.verbose ? google::GLOG_INFO : google::GLOG_FATAL;

    std::vector<Image> images;
    for (const std::string& input : options.inputs) {
      std::vector<Image> found = ReadImages(input);
      for (Image& image : found) images.push_back(std::move(image));
    }
    if (options.primary && *options.primary > images.size())
      throw UsageError("--primary " + std::to_string(*options.primary) + ": there are only " +
                       std::to_string(images.size()) + " images");
    Image& primary = images[options.primary ? *options.primary - 1 : 0];
    if (options.primary) primary.codec->SetMainStreamFlag(true);
    if (!options.exif.empty()) {
      Orvane::Core::Property metadata("metadata");
      for (const auto& [name, value] : options.exif) metadata.Add(Orvane::Core::Property(name, value));
      primary.codec->SetStreamMetadata(metadata);
    }

    const std::string pluginPath = options.plugin.empty() ? DefaultPlugin() : options.plugin;
    void* plugin = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin) throw std::runtime_error(std::string("cannot load the plug-in: ") + dlerror());
    auto registrator = reinterpret_cast<Orvane::Proc::RegistratorFunction>(dlsym(plugin, Orvane::Proc::REGISTRATOR_SYMBOL));
    if (!registrator) throw std::runtime_error(pluginPath + " exports no Registrator");
    Registry registry;
    registrator(&registry);
    Mux(options, images, registry);
    // The plug-in stays loaded until exit: the registry's creators live in it.
    return 0;
  } catch (const UsageError& e) {
    std::cerr << "heifmux: " << e.what() << "\n" << "Try 'heifmux --help'.\n";
    return 2;
  } catch (const boost::exception& e) {
    std::cerr << "heifmux: " << Describe(e) << "\n";
  } catch (const std::exception& e) {
    std::cerr << "heifmux: " << e.what() << "\n";
  }
  return 1;
}
