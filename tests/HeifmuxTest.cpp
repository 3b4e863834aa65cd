// heifmux end to end, judged by tools no one here wrote: FFmpeg, libheif's heif-info and
// heif-convert, exiftool, and an independent reader of the boxes.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <regex>

#include "support/HeifBoxReader.h"
#include "support/HostFakes.h"

namespace {

using namespace testing_support;

const std::string kData = HEIFMUX_TEST_DATA;

struct Outcome {
  int status;
  std::string output;  // stdout and stderr together
};

Outcome Heifmux(const std::string& arguments, const std::string& environment = "") {
  const std::string out = RunCommand(environment + HEIFMUX_PATH + " " + arguments + " 2>&1; echo \"status=$?\"");
  const size_t at = out.rfind("status=");
  return {std::stoi(out.substr(at + 7)), out.substr(0, at)};
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// FFmpeg's decode of the first picture, as raw planes in the source's own pixel format.
std::string FirstPictureDigest(const std::filesystem::path& input, const std::string& pixelFormat) {
  return RunCommand("ffmpeg -hide_banner -loglevel error -i " + Quote(input) +
                    " -frames:v 1 -pix_fmt " + pixelFormat + " -f rawvideo -map 0:v:0 - | md5sum");
}

std::string PixelFormat(const std::filesystem::path& input) {
  std::string format = RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 " +
                                  Quote(input));
  while (!format.empty() && (format.back() == '\n' || format.back() == '\r')) format.pop_back();
  return format;
}

double Psnr(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::string out = RunCommand(
      "ffmpeg -hide_banner -i " + Quote(a) + " -i " + Quote(b) +
      " -lavfi '[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr' -f null - 2>&1");
  std::smatch m;
  if (!std::regex_search(out, m, std::regex("average:([0-9.]+|inf)"))) return -1;
  return m[1] == "inf" ? std::numeric_limits<double>::infinity() : std::stod(m[1]);
}

TEST(Heifmux, EveryImageDecodesToTheSourcesFirstPicture) {
  struct Row {
    const char* input;
    uint32_t width, height;  // the picture size after the conformance window
  } rows[] = {
      {"main8.mp4", 352, 288},     {"main10.hevc", 320, 240},   {"yuv422p10.mkv", 256, 160},
      {"yuv444p.ts", 320, 192},    {"mono.hevc", 192, 128},     {"odd444p10.hevc", 201, 113},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    const std::filesystem::path input = kData + "/" + row.input;
    const std::filesystem::path heic = dir / (std::string(row.input) + ".heic");
    const Outcome muxed = Heifmux(Quote(input) + " -o " + Quote(heic));
    ASSERT_EQ(muxed.status, 0) << muxed.output;

    const HeifFileView file = ReadHeif(ReadFileBytes(heic.string()));
    ASSERT_EQ(file.items.size(), 1u);
    const HeifItem& image = file.items.begin()->second;
    EXPECT_EQ(image.type, "hvc1");
    EXPECT_EQ(file.primaryItem, file.items.begin()->first);
    EXPECT_EQ(image.ispe, std::make_pair(row.width, row.height));

    const std::string info = RunCommand("heif-info " + Quote(heic) + " 2>&1");
    EXPECT_NE(info.find("image: " + std::to_string(row.width) + "x" + std::to_string(row.height)), std::string::npos)
        << info;

    // Bit-exact: what the file stores decodes to exactly what the source's first picture does.
    const std::filesystem::path extracted = dir / (std::string(row.input) + ".item.hevc");
    WriteBytes(extracted, ItemAsAnnexB(image));
    const std::string format = PixelFormat(input);
    EXPECT_EQ(FirstPictureDigest(extracted, format), FirstPictureDigest(input, format));

    // libheif decodes it too; it always converts through RGB, so compare by PSNR.
    const std::filesystem::path decoded = dir / (std::string(row.input) + ".png");
    const std::filesystem::path reference = dir / (std::string(row.input) + ".ref.png");
    RunCommand("heif-convert " + Quote(heic) + " " + Quote(decoded) + " >/dev/null 2>&1");
    RunCommand("ffmpeg -hide_banner -loglevel error -i " + Quote(input) + " -frames:v 1 -y " + Quote(reference));
    ASSERT_TRUE(std::filesystem::exists(decoded)) << "heif-convert could not decode " << heic;
    const double psnr = Psnr(decoded, reference);
    RecordProperty(std::string(row.input) + ".psnr", std::to_string(psnr));
    std::cout << row.input << ": heif-convert vs FFmpeg PSNR " << psnr << " dB\n";
    EXPECT_GE(psnr, 30.0);
  }
}

TEST(Heifmux, TwoInputsWithPrimaryAndExif) {
  TempDir dir;
  const std::filesystem::path heic = dir / "two.heif";
  const Outcome muxed = Heifmux(Quote(kData + "/main8.mp4") + " " + Quote(kData + "/main10.hevc") +
                                " --primary 2 --exif Exif.Image.Make=Orvane --exif 'Exif.Image.Model=Two Inputs'" +
                                " -o " + Quote(heic));
  ASSERT_EQ(muxed.status, 0) << muxed.output;
  const HeifFileView file = ReadHeif(ReadFileBytes(heic.string()));
  EXPECT_EQ(file.primaryItem, 2u);
  EXPECT_EQ(file.items.at(1).ispe, std::make_pair(352u, 288u));
  EXPECT_EQ(file.items.at(2).ispe, std::make_pair(320u, 240u));
  ASSERT_EQ(file.references.size(), 1u);
  EXPECT_EQ(file.references[0].to, std::vector<uint32_t>{2});
  EXPECT_EQ(RunCommand("exiftool -s3 -Make -Model " + Quote(heic)), "Orvane\nTwo Inputs\n");
}

TEST(Heifmux, RefusalsAreOneLineAndLeaveNothingBehind) {
  TempDir dir;
  const std::filesystem::path noVideo = dir / "tone.wav";
  RunCommand("ffmpeg -hide_banner -loglevel error -f lavfi -i sine=duration=0.1 -y " + Quote(noVideo));
  const std::filesystem::path h264 = dir / "avc.mp4";
  RunCommand("ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=64x64 -frames:v 1 -c:v libx264 -y " +
             Quote(h264) + " 2>/dev/null || true");
  const std::filesystem::path garbage = dir / "garbage.hevc";
  WriteBytes(garbage, std::vector<uint8_t>(100, 0x5a));

  struct Row {
    const char* name;
    std::string arguments;
    int status;
    const char* expected;  // part of the message
    std::filesystem::path output;
    const char* environment = "";
  } rows[] = {
      {"missing input", Quote(dir / "missing.hevc") + " -o " + Quote(dir / "a.heic"), 1, "cannot read", dir / "a.heic"},
      {"no video", Quote(noVideo) + " -o " + Quote(dir / "b.heic"), 1, "no HEVC video stream", dir / "b.heic"},
      {"not HEVC", Quote(h264) + " -o " + Quote(dir / "c.heic"), 1, "no HEVC video stream", dir / "c.heic"},
      {"not a stream", Quote(garbage) + " -o " + Quote(dir / "d.heic"), 1, "", dir / "d.heic"},
      {"unwritable output", Quote(kData + "/main8.mp4") + " -o " + Quote(dir / "no" / "e.heic"), 1, "", dir / "no" / "e.heic"},
      {"the muxer's second write fails", Quote(kData + "/main8.mp4") + " -o " + Quote(dir / "h.heic"), 1, "cannot write",
       dir / "h.heic", "LD_PRELOAD=" SECOND_WRITE_FAILS " ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 "},
      {"no output given", Quote(kData + "/main8.mp4"), 2, "no output", {}},
      {"primary out of range", Quote(kData + "/main8.mp4") + " --primary 2 -o " + Quote(dir / "f.heic"), 2, "only 1",
       dir / "f.heic"},
      {"exif key not Family.Group.Tag", Quote(kData + "/main8.mp4") + " --exif Make=X -o " + Quote(dir / "g.heic"), 2,
       "--exif Make: the key must be Family.Group.Tag", dir / "g.heic"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Outcome outcome = Heifmux(row.arguments, row.environment);
    EXPECT_EQ(outcome.status, row.status) << outcome.output;
    EXPECT_EQ(outcome.output.rfind("heifmux: ", 0), 0u) << outcome.output;
    EXPECT_NE(outcome.output.find(row.expected), std::string::npos) << outcome.output;
    if (!row.output.empty()) {
      EXPECT_FALSE(std::filesystem::exists(row.output));
    }
  }
  // Nothing half-written stays in the folder either.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
}

}  // namespace
