// heifmux: muxes one random-access picture of every HEVC video stream of its inputs into one HEIF
// file, through the HEIF muxer plug-in loaded the way the host framework loads it.
#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <glog/logging.h>

extern "C" {
#include <libavutil/log.h>
}

#include "Images.h"
#include "common/CommandLine.h"
#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/Muxer.h"

namespace {

using heifmux::Describe;
using heifmux::Image;

constexpr const char kUsage[] =
    "Usage: heifmux [options] INPUT... -o OUTPUT.heic\n"
    "Writes a random-access picture (IDR, CRA or BLA) of every HEVC video stream of the inputs as one\n"
    "image of a HEIF file: the first one, unless --time or --frame choose another.\n"
    "\n"
    "Options:\n"
    "  -o, --output PATH        the HEIF file to write (.heic or .heif)\n"
    "  --time SECONDS           the first random-access picture at or after this time, e.g. 2.5\n"
    "  --frame N                the Nth random-access picture (1-based) of each stream\n"
    "  --primary N              make image N (1-based, in input order) the primary image\n"
    "  --exif F.G.T=VALUE       an Exif entry for the primary image, e.g. Exif.Image.Make=Maker\n"
    "                           (repeatable)\n"
    "  --no-verify              write the images without first checking that each decodes on its own\n"
    "  --plugin PATH            the muxer plug-in to load (default: the installed or built one)\n"
    "  -v, --verbose            say which packet each stream gave and which colour properties each image got;\n"
    "                           show the plug-in's and FFmpeg's log, and where a failure was raised, with its\n"
    "                           call stack\n"
    "  -h, --help               this text\n"
    "  --version                the program's version\n";

struct Options {
  std::vector<std::string> inputs;
  std::string output;
  std::optional<unsigned> primary;
  std::vector<std::pair<std::string, std::string>> exif;
  std::string plugin;
  bool noVerify = false;
  heifmux::PictureChoice choice;
};

using tools::UsageError;

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
  std::string time;
  std::string frame;
  std::vector<std::string> exif;
  bool help = false;
  bool version = false;
  CLI::App app("heifmux", "heifmux");
  app.add_option("-o,--output", options.output);
  app.add_option("--primary", primary);
  app.add_option("--time", time);
  app.add_option("--frame", frame);
  app.add_option("--exif", exif);
  app.add_option("--plugin", options.plugin);
  app.add_flag("--no-verify", options.noVerify);
  app.add_flag("-v,--verbose", options.choice.verbose);
  tools::AddHelpFlag(app, help);
  app.add_flag("--version", version);
  options.inputs = tools::ParseOptions(app, argc, argv);
  if (help) {
    std::cout << kUsage;
    std::exit(0);
  }
  if (version) {
    std::cout << "heifmux " << ORVANE_VERSION << "\n";
    std::exit(0);
  }
  if (app.count("--primary")) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(primary.c_str(), &end, 10);
    if (primary.empty() || *end || primary[0] == '-' || parsed == 0 || parsed > 65535)
      throw UsageError("--primary needs an image number from 1");
    options.primary = static_cast<unsigned>(parsed);
  }
  if (app.count("--time") && app.count("--frame")) throw UsageError("--time and --frame exclude each other");
  if (app.count("--time")) {
    // Seconds, fractions allowed; kept to the microsecond.
    double seconds = -1;
    const auto [end, error] = std::from_chars(time.data(), time.data() + time.size(), seconds);
    if (time.empty() || error != std::errc() || end != time.data() + time.size() || !(seconds >= 0) || seconds > 1e9)
      throw UsageError("--time needs seconds from 0, e.g. 2.5");
    options.choice.timeUs = std::llround(seconds * 1e6);
  }
  if (app.count("--frame")) {
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(frame.data(), frame.data() + frame.size(), number);
    if (frame.empty() || error != std::errc() || end != frame.data() + frame.size() || number == 0)
      throw UsageError("--frame needs a picture number from 1");
    options.choice.frame = number;
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
    for (size_t i = 0; i < images.size(); ++i) {
      muxer->Write(ids[i], images[i].picture);
      images[i].picture.reset();  // the muxer keeps its own copy: one picture less in memory
    }
    // The packets and the muxer's first copies are free now, but Close's file-sized buffers are a
    // little larger than the hole they left and would be laid beyond it, the hole's pages still
    // held: one picture more at the peak. Giving those pages back keeps the peak to what is live.
    malloc_trim(0);
    try {
      muxer->Close();
    } catch (const boost::exception& e) {
      throw std::runtime_error("cannot write " + options.output + ": " + Describe(e, options.choice.verbose));
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
  // A picture passes through several buffers of its own size: the packet, the muxer's copy, and per
  // close the serialised file and a copy of it. Served from the heap and kept there when freed, each
  // reuses the pages of one before it instead of faulting fresh pages in one at a time.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  bool verbose = false;
  try {
    Options options = ParseArguments(argc, argv);
    verbose = options.choice.verbose;
    // Failures reach the user as one line of ours; the libraries' own log is for --verbose.
    av_log_set_level(options.choice.verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    FLAGS_logtostderr = true;
    FLAGS_minloglevel = options.choice.verbose ? google::GLOG_INFO : google::GLOG_FATAL;
    // Set up before the plug-in logs, so that its lines come without glog's notice that it was not.
    google::InitGoogleLogging(argv[0]);

    std::error_code ec;
    if (std::filesystem::is_directory(options.output, ec)) throw std::runtime_error(options.output + ": is a directory");
    std::vector<Image> images;
    for (const std::string& input : options.inputs) {
      std::vector<Image> found = heifmux::ReadImages(input, options.choice);
      for (Image& image : found) images.push_back(std::move(image));
    }
    if (options.primary && *options.primary > images.size())
      throw UsageError("--primary " + std::to_string(*options.primary) + ": there are only " +
                       std::to_string(images.size()) + " images");
    // An image that readers cannot show as the stream does is refused before anything is written.
    for (const Image& image : images)
      if (const auto problem = options.noVerify ? std::nullopt : heifmux::DecodeProblem(image))
        throw std::runtime_error(image.origin + ": " + image.packet + ": the picture does not decode on its own (" +
                                 *problem + "); nothing written");
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
    std::cerr << "heifmux: " << Describe(e, verbose) << "\n";
  } catch (const std::exception& e) {
    std::cerr << "heifmux: " << e.what() << "\n";
  }
  return 1;
}
