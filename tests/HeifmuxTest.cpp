// heifmux end to end, judged by tools no one here wrote: FFmpeg, libheif's heif-info and
// heif-convert, exiftool, and an independent reader of the boxes.
#include <gtest/gtest.h>

#include <fstream>

#include "support/HeifBoxReader.h"
#include "support/HostFakes.h"

namespace {

using namespace testing_support;

const std::string kData = HEIFMUX_TEST_DATA;

struct Outcome {
  int status;
  std::string output;  // stdout and stderr together
};

Outcome Heifmux(const std::string& arguments) {
  const std::string out = RunCommand(std::string(HEIFMUX_PATH) + " " + arguments + " 2>&1; echo \"status=$?\"");
  const size_t at = out.rfind("status=");
  return {std::stoi(out.substr(at + 7)), out.substr(0, at)};
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
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
  } rows[] = {
      {"missing input", Quote(dir / "missing.hevc") + " -o " + Quote(dir / "a.heic"), 1, "cannot read", dir / "a.heic"},
      {"no video", Quote(noVideo) + " -o " + Quote(dir / "b.heic"), 1, "no HEVC video stream", dir / "b.heic"},
      {"not HEVC", Quote(h264) + " -o " + Quote(dir / "c.heic"), 1, "no HEVC video stream", dir / "c.heic"},
      {"not a stream", Quote(garbage) + " -o " + Quote(dir / "d.heic"), 1, "", dir / "d.heic"},
      {"unwritable output", Quote(kData + "/main8.mp4") + " -o " + Quote(dir / "no" / "e.heic"), 1, "", dir / "no" / "e.heic"},
      {"no output given", Quote(kData + "/main8.mp4"), 2, "no output", {}},
      {"primary out of range", Quote(kData + "/main8.mp4") + " --primary 2 -o " + Quote(dir / "f.heic"), 2, "only 1",
       dir / "f.heic"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Outcome outcome = Heifmux(row.arguments);
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
