// The plug-in as the host sees it: a library loaded at run time that exports one function.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <sstream>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/ProcException.h"
#include "support/HEVCTestUnits.h"
#include "support/HeifBoxReader.h"
#include "support/HostFakes.h"

namespace {

using namespace testing_support;
using Orvane::Proc::MuxerException;

class Plugin : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(MUXERHEIF_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    auto registrator = reinterpret_cast<Orvane::Proc::RegistratorFunction>(dlsym(handle_, "Registrator"));
    ASSERT_NE(registrator, nullptr) << dlerror();
    registrator(&registry_);
  }
  void TearDown() override {
    registry_.creators.clear();
    if (handle_) dlclose(handle_);
  }
  Orvane::Proc::IMuxerCreator& Creator(const std::string& format) {
    for (auto& c : registry_.creators)
      if (c->GetFormatName() == format) return *c;
    throw std::runtime_error("no creator for " + format);
  }

  void* handle_ = nullptr;
  TestRegistry registry_;
};

TEST_F(Plugin, RegistersOneCreatorPerFormatInListOrder) {
  const std::vector<std::string> formats = Orvane::Conf::GetHEIFImageFormatList();
  ASSERT_EQ(registry_.creators.size(), formats.size());
  for (size_t i = 0; i < formats.size(); ++i) {
    SCOPED_TRACE(formats[i]);
    const auto& creator = registry_.creators[i];
    EXPECT_EQ(creator->GetFormatName(), formats[i]);
    EXPECT_EQ(creator->GetImplementationName(), Orvane::Proc::ImplNames::LIBHEIF);
    EXPECT_TRUE(creator->IsAvailable());
    EXPECT_EQ(creator->GetRefCount(), 1u);  // the registry's reference only
  }
}

TEST_F(Plugin, CreateMuxerRefusesMissingArguments) {
  auto& creator = Creator(Orvane::Conf::IFormatFile::FORMAT_HEIC);
  const auto output = Orvane::Proc::DataOutput::Create(Orvane::ioPath("unused.heic"));
  boost::intrusive_ptr<Orvane::Proc::IMuxer> muxer;
  const ThrowReport r = ExpectThrow<MuxerException>([&] { muxer = creator.CreateMuxer(nullptr, output); });
  EXPECT_EQ(r.description, "formatFile is NULL.");
  EXPECT_EQ(r.function, "MuxerHEIF");
  EXPECT_EQ(muxer, nullptr);
  const ThrowReport r2 = ExpectThrow<Orvane::Proc::ProcException>(
      [&] { muxer = creator.CreateMuxer(Orvane::Conf::FormatFile::Create("heic"), nullptr); });
  EXPECT_EQ(r2.description, "dataOutput is NULL.");
  EXPECT_EQ(muxer, nullptr);
  EXPECT_EQ(output->GetRefCount(), 1u);
}

TEST_F(Plugin, WritesAFileThatIndependentReadersAccept) {
  TempDir dir;
  const auto path = dir / "plugin.heic";
  auto& creator = Creator(Orvane::Conf::IFormatFile::FORMAT_HEIC);
  auto muxer = creator.CreateMuxer(Orvane::Conf::FormatFile::Create("heic"),
                                   Orvane::Proc::DataOutput::Create(Orvane::ioPath(path)));
  ASSERT_EQ(muxer->GetRefCount(), 1u);
  auto codec = Orvane::Conf::FormatCodecVideo::Create(320, 240);
  std::vector<uint8_t> configuration;
  for (const auto& unit : {codec_test::BaseVPS(), codec_test::BaseSPS(), codec_test::BasePPS()}) {
    configuration.insert(configuration.end(), {0, 0, 1});
    const std::vector<uint8_t> nal = unit.Bytes();
    configuration.insert(configuration.end(), nal.begin(), nal.end());
  }
  codec->SetPrivateData(Orvane::Proc::BlobFF::Create(configuration.data(), configuration.size()));
  Orvane::Core::Property metadata("metadata");
  metadata.Add(Orvane::Core::Property("Exif.Image.Make", "Orvane Test Maker"));
  metadata.Add(Orvane::Core::Property("Exif.Image.Model", "Plug-in"));
  codec->SetStreamMetadata(metadata);
  const uint32_t id = muxer->AddStream(codec);
  muxer->WriteHeader(1);
  const std::vector<uint8_t> picture = {0, 0, 0, 3, 0x26, 0x01, 0xaf};
  muxer->Write(id, MakePacket(picture));
  muxer->Close();
  muxer.reset();

  const HeifFileView file = ReadHeif(ReadFileBytes(path.string()));
  EXPECT_EQ(file.primaryItem, id);
  ASSERT_EQ(file.items.size(), 2u);
  EXPECT_EQ(file.items.at(id).type, "hvc1");
  EXPECT_EQ(file.items.at(id).data, picture);
  EXPECT_EQ(file.items.at(id).ispe, std::make_pair(320u, 240u));
  EXPECT_EQ(file.items.at(id).properties, (std::vector<std::string>{"hvcC", "ispe"}));
  ASSERT_EQ(file.references.size(), 1u);
  EXPECT_EQ(file.references[0].type, "cdsc");
  EXPECT_EQ(file.items.at(file.references[0].from).type, "Exif");
  EXPECT_EQ(file.references[0].to, std::vector<uint32_t>{id});

  EXPECT_EQ(RunCommand("exiftool -s3 -Make -Model '" + path.string() + "'"), "Orvane Test Maker\nPlug-in\n");
}

// Registrator is the one function of ours that leaves the plug-in, and nothing of libheif does.
// Type information of the classes a host catches or casts to is shared on purpose, and a debug
// build may also share inline functions of the standard library and Boost.
TEST(PluginExports, OnlyRegistratorIsExportedOfOurFunctionsAndNothingOfLibheif) {
  const std::string symbols = RunCommand(std::string("nm -D --defined-only '") + MUXERHEIF_PLUGIN_PATH + "'");
  ASSERT_FALSE(symbols.empty());
  std::vector<std::string> plainFunctions;
  std::istringstream lines(symbols);
  for (std::string address, kind, name; lines >> address >> kind >> name;) {
    SCOPED_TRACE(name);
    const bool function = kind == "T" || kind == "W" || kind == "i";
    if (function && name.rfind("_Z", 0) != 0) plainFunctions.push_back(name);
    if (function) {
      EXPECT_EQ(name.rfind("_ZN6Orvane", 0), std::string::npos) << "function of ours exported";
    }
    EXPECT_EQ(name.rfind("heif_", 0), std::string::npos) << "libheif C function exported";
    EXPECT_EQ(name.find("N4heif"), std::string::npos) << "libheif class exported";
  }
  EXPECT_EQ(plainFunctions, std::vector<std::string>{"Registrator"});
}

}  // namespace
