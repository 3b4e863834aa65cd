// The plug-in as the host sees it: a library loaded at run time that exports one function.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <sstream>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/ProcException.h"
#include "support/HEVCTestUnits.h"
#include "support/HostFakes.h"

namespace {

using namespace testing_support;

// Registrator registers one creator per HEIF format, in the host's order, and the creators' muxers
// write files that independent readers accept.
TEST(Plugin, LoadedRegisteredAndWritingFiles) {
  void* handle = dlopen(MUXERHEIF_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto registrator = reinterpret_cast<Orvane::Proc::RegistratorFunction>(dlsym(handle, "Registrator"));
  ASSERT_NE(registrator, nullptr) << dlerror();
  TestRegistry registry;
  registrator(&registry);
  std::vector<std::string> formats;
  for (const auto& creator : registry.creators) formats.push_back(creator->GetFormatName());
  ASSERT_EQ(formats, Orvane::Conf::GetHEIFImageFormatList());
  auto& creator = *registry.creators[std::find(formats.begin(), formats.end(), "heic") - formats.begin()];
  // A failure inside the plug-in is caught by the host by its class.
  const auto output = Orvane::Proc::DataOutput::Create(Orvane::ioPath("unused.heic"));
  const auto refused = codec_test::Probe<Orvane::Proc::ProcException>([&] { creator.CreateMuxer(nullptr, output); });
  EXPECT_EQ(refused ? refused->message : "", "formatFile is NULL.");

  TempDir dir;
  const auto path = dir / "plugin.heic";
  auto muxer = creator.CreateMuxer(Orvane::Conf::FormatFile::Create("heic"), Orvane::Proc::DataOutput::Create(Orvane::ioPath(path)));
  auto codec = Orvane::Conf::FormatCodecVideo::Create(320, 240);
  const std::vector<uint8_t> configuration = codec_test::AnnexB({codec_test::BaseVPS(), codec_test::BaseSPS(), codec_test::BasePPS()});
  codec->SetPrivateData(Orvane::Proc::BlobFF::Create(configuration.data(), configuration.size()));
  Orvane::Core::Property metadata("metadata");
  metadata.Add(Orvane::Core::Property("Exif.Image.Make", "Orvane Test Maker"));
  codec->SetStreamMetadata(metadata);
  const uint32_t id = muxer->AddStream(codec);
  muxer->WriteHeader(1);
  muxer->Write(id, MakePacket({0, 0, 0, 3, 0x26, 0x01, 0xaf}));
  muxer.reset();  // the last reference: closes
  registry.creators.clear();
  dlclose(handle);
  EXPECT_EQ(RunCommand("exiftool -s3 -MajorBrand -CompatibleBrands -Make -ImageSize '" + path.string() + "'"),
            "High Efficiency Image Format HEVC still image (.HEIC)\nmif1, heic\nOrvane Test Maker\n320x240\n");
  EXPECT_NE(RunCommand("heif-info '" + path.string() + "'").find("image: 320x240"), std::string::npos);
}

// Registrator is the one function of ours that leaves the plug-in, and nothing of libheif does.
// Type information of the classes a host catches or casts to is shared on purpose, and a debug
// build may also share inline functions of the standard library and Boost.
TEST(Plugin, OnlyRegistratorIsExportedOfOurFunctionsAndNothingOfLibheif) {
  const std::string symbols = RunCommand(std::string("nm -D --defined-only '") + MUXERHEIF_PLUGIN_PATH + "'");
  ASSERT_FALSE(symbols.empty());
  std::vector<std::string> plainFunctions;
  std::istringstream lines(symbols);
  for (std::string address, kind, name; lines >> address >> kind >> name;) {
    SCOPED_TRACE(name);
    const bool function = kind == "T" || kind == "W" || kind == "i";
    if (function && name.rfind("_Z", 0) != 0) plainFunctions.push_back(name);
    EXPECT_FALSE(function && name.rfind("_ZN6Orvane", 0) == 0) << "function of ours exported";
    EXPECT_EQ(name.rfind("heif_", 0), std::string::npos) << "libheif C function exported";
    EXPECT_EQ(name.find("N4heif"), std::string::npos) << "libheif class exported";
  }
  EXPECT_EQ(plainFunctions, std::vector<std::string>{"Registrator"});
}

}  // namespace
