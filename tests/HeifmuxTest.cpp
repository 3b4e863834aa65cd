// heifmux end to end, judged by tools no one here wrote: FFmpeg, libheif's heif-info and
// heif-convert, exiftool, and an independent reader of the boxes.
#include <gtest/gtest.h>

#include <bitset>
#include <fstream>
#include <regex>
#include <sstream>

#include "heifmux/AnnexBAccessUnits.h"
#include "support/HEVCStreams.h"
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

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// One value per line of ffprobe's answer for the first video stream, blank lines left out.
std::vector<std::string> Probe(const std::filesystem::path& input, const std::string& entries) {
  std::istringstream lines(RunCommand("ffprobe -v error -select_streams v:0 -show_entries " + entries +
                                      " -of csv=p=0 " + Quote(input)));
  std::vector<std::string> values;
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) values.push_back(line.substr(0, line.find(',')));
  return values;
}

// What FFmpeg decodes at each picture it marks as a key frame, in output order.
std::vector<std::string> RandomAccessDigests(const std::filesystem::path& input) {
  const std::vector<std::string> digests = FrameDigests(input, "-pix_fmt yuv420p");
  const std::vector<std::string> keys = Probe(input, "frame=key_frame");
  std::vector<std::string> found;
  for (size_t i = 0; i < keys.size() && i < digests.size(); ++i)
    if (keys[i] == "1") found.push_back(digests[i]);
  return found;
}

// One short x265 encode with a random-access picture every ten pictures, the first an IDR and the
// others CRA pictures with open GOPs, and parameter sets repeated at each; the same as a raw stream
// and as MPEG-TS cut before their fourth picture in decoding order (at a NAL unit boundary and at a
// TS packet boundary), and a raw stream of three pictures between two random-access pictures.
struct OpenGopStreams {
  TempDir dir;
  std::filesystem::path mp4 = dir / "open-gop.mp4", rawCut = dir / "cut.hevc", tsCut = dir / "cut.ts",
                        noRandomAccess = dir / "no-irap.hevc";
  std::vector<std::string> randomAccessDigests;  // what FFmpeg decodes at each, in output order

  OpenGopStreams() {
    RunCommand("ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=192x128:rate=25 -frames:v 50 -c:v libx265"
               " -x265-params keyint=10:min-keyint=10:scenecut=0:open-gop=1:repeat-headers=1:bframes=3:log-level=error"
               " -y " + Quote(mp4));
    const std::filesystem::path raw = dir / "open-gop.hevc", ts = dir / "open-gop.ts";
    RunCommand("ffmpeg -hide_banner -loglevel error -i " + Quote(mp4) + " -c copy -y " + Quote(raw) + " -c copy -y " +
               Quote(ts));
    const auto cut = [](const std::filesystem::path& from, const std::filesystem::path& to, size_t first, size_t last) {
      const std::vector<uint8_t> bytes = codec_test::ReadFile(from);
      const std::vector<std::string> at = Probe(from, "packet=pos");
      WriteBytes(to, {bytes.begin() + std::stol(at.at(first)), last ? bytes.begin() + std::stol(at.at(last)) : bytes.end()});
    };
    cut(raw, rawCut, 3, 0);
    cut(ts, tsCut, 3, 0);
    cut(raw, noRandomAccess, 1, 4);
    randomAccessDigests = RandomAccessDigests(mp4);
  }
  static const OpenGopStreams& Get() {
    static const OpenGopStreams streams;
    return streams;
  }
};

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

    // One image, the primary one, of the size after the conformance window.
    const HeifFileView file = ReadHeif(heic);
    ASSERT_EQ(file.items.size(), 1u);
    const HeifItem& image = file.items.begin()->second;
    const std::string info = RunCommand("heif-info " + Quote(heic) + " 2>&1");
    EXPECT_NE(info.find("image: " + std::to_string(row.width) + "x" + std::to_string(row.height) + " (id=1), primary"),
              std::string::npos) << info;

    // Bit-exact: what the file stores decodes to exactly what the source's first picture does.
    const std::filesystem::path extracted = dir / (std::string(row.input) + ".item.hevc");
    WriteBytes(extracted, ItemAsAnnexB(image));
    const std::string format = Probe(input, "stream=pix_fmt").at(0);
    EXPECT_EQ(FrameDigests(extracted, "-pix_fmt " + format).at(0), FrameDigests(input, "-pix_fmt " + format).at(0));

    // libheif decodes it too; it always converts through RGB, so compare by PSNR.
    const std::filesystem::path decoded = dir / (std::string(row.input) + ".png");
    const std::filesystem::path reference = dir / (std::string(row.input) + ".ref.png");
    RunCommand("heif-convert " + Quote(heic) + " " + Quote(decoded) + " >/dev/null 2>&1");
    RunCommand("ffmpeg -hide_banner -loglevel error -i " + Quote(input) + " -frames:v 1 -y " + Quote(reference));
    ASSERT_TRUE(std::filesystem::exists(decoded)) << "heif-convert could not decode " << heic;
    const std::string psnr = RunCommand("ffmpeg -hide_banner -i " + Quote(decoded) + " -i " + Quote(reference) +
                                        " -lavfi '[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr' -f null - 2>&1");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(psnr, m, std::regex("average:([0-9.]+|inf)"))) << psnr;
    EXPECT_TRUE(m[1] == "inf" || std::stod(m[1]) >= 30.0) << "PSNR " << m[1];
  }
}

// Streams that begin mid-GOP give the first random-access picture; --time gives the first at or
// after the time (counted from the start of the input; the cut streams start later: the raw one by
// three pictures, so that the third random-access picture is at (20 - 3) / 25 s), --frame the Nth;
// --time past one second seeks in the containers.
TEST(Heifmux, EveryImageIsTheRandomAccessPictureAskedFor) {
  const OpenGopStreams& streams = OpenGopStreams::Get();
  ASSERT_EQ(streams.randomAccessDigests.size(), 5u);
  struct Row {
    std::filesystem::path input;
    const char* options;
    size_t picture;  // which random-access picture of the encode, 0 the IDR
  } rows[] = {
      {streams.mp4, "", 0},           {streams.mp4, "--time 0.45", 2},    {streams.mp4, "--time 0.8", 2},
      {streams.mp4, "--time 1.25", 4}, {streams.mp4, "--frame 2", 1},     {streams.rawCut, "", 1},
      {streams.rawCut, "--time 0.45", 2}, {streams.rawCut, "--time 0.68", 2}, {streams.rawCut, "--time 1.25", 4},
      {streams.rawCut, "--frame 2", 2},
      {streams.tsCut, "", 1},         {streams.tsCut, "--time 0.45", 2},  {streams.tsCut, "--time 1.25", 4},
      {streams.tsCut, "--frame 2", 2},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input.filename().string() + " " + row.options);
    const std::filesystem::path heic = dir / "image.heic", item = dir / "item.hevc";
    const Outcome muxed = Heifmux(Quote(row.input) + " " + row.options + " -o " + Quote(heic));
    ASSERT_EQ(muxed.status, 0) << muxed.output;
    WriteBytes(item, ItemAsAnnexB(ReadHeif(heic).items.begin()->second));
    EXPECT_EQ(FrameDigests(item, "-pix_fmt yuv420p"), std::vector<std::string>{streams.randomAccessDigests[row.picture]});
  }
}

// Raw streams are cut into access units where FFmpeg's parser cuts them into packets, and into the
// NAL units the library's scan finds over the whole file, whatever the scan's first window (down to
// windows shorter than a NAL unit), with one thread or two. (FFmpeg gives the zero byte of a
// four-byte start code to the packet before; both are compared at their 00 00 01.)
TEST(Heifmux, RawStreamsSplitIntoTheAccessUnitsOfFFmpeg) {
  for (const std::string& input : {OpenGopStreams::Get().rawCut.string(), kData + "/../hevc/six_slices.hevc",
                                    kData + "/../hevc/main8_tl_vui.hevc"}) {
    const std::vector<uint8_t> bytes = codec_test::ReadFile(input);
    const auto startCode = [&](size_t at) { return at + (bytes.at(at + 2) == 0); };
    std::vector<size_t> expectedBegins;
    for (const std::string& at : Probe(input, "packet=pos")) expectedBegins.push_back(startCode(std::stoul(at)));
    std::vector<Orvane::Proc::CodecParsers::NALU> expectedUnits;
    Orvane::Proc::CodecParsers::FindAnnexBNalus(bytes.data(), bytes.size(), expectedUnits);
    for (const auto& [window, twoThreadsFrom] : {std::pair{7u, 0u}, {1000u, 0u}, {1u << 26, 1u << 26}, {1u << 26, 0u}}) {
      SCOPED_TRACE(input + ", window " + std::to_string(window) + ", two threads from " + std::to_string(twoThreadsFrom));
      heifmux::AccessUnits units(bytes.data(), bytes.size(), window, twoThreadsFrom);
      std::vector<size_t> begins;
      std::vector<std::pair<const uint8_t*, uint64_t>> found, expected;
      for (heifmux::AccessUnits::Unit unit{}; units.Next(unit);) {
        begins.push_back(startCode(unit.begin - bytes.data()));
        for (const auto& nalu : unit.nalus) found.emplace_back(nalu.data, nalu.size);
      }
      for (const auto& nalu : expectedUnits) expected.emplace_back(nalu.data, nalu.size);
      EXPECT_EQ(begins, expectedBegins);
      EXPECT_EQ(found, expected);
    }
  }
}

TEST(Heifmux, TwoInputsWithPrimaryAndExif) {
  TempDir dir;
  const std::filesystem::path heic = dir / "two.heif";
  const Outcome muxed = Heifmux(Quote(kData + "/main8.mp4") + " " + Quote(kData + "/main10.hevc") +
                                " --primary 2 --exif Exif.Image.Make=Orvane --exif 'Exif.Image.Model=Two Inputs'" +
                                " -o " + Quote(heic));
  ASSERT_EQ(muxed.status, 0) << muxed.output;
  const HeifFileView file = ReadHeif(heic);
  EXPECT_EQ(file.primaryItem, 2u);
  EXPECT_EQ(file.items.at(1).ispe, std::make_pair(352u, 288u));
  EXPECT_EQ(file.items.at(2).ispe, std::make_pair(320u, 240u));
  ASSERT_EQ(file.references.size(), 1u);
  EXPECT_EQ(file.references[0].to, std::vector<uint32_t>{2});
  EXPECT_EQ(RunCommand("exiftool -s3 -Make -Model " + Quote(heic)), "Orvane\nTwo Inputs\n");
}

TEST(Heifmux, RefusalsAreOneLineAndLeaveNothingBehind) {
  TempDir dir;
  const std::filesystem::path h264 = dir / "avc.mp4";
  RunCommand("ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=64x64 -frames:v 1 -c:v libx264 -y " +
             Quote(h264) + " 2>/dev/null || true");
  const std::filesystem::path garbage = dir / "garbage.hevc";
  WriteBytes(garbage, std::vector<uint8_t>(100, 0x5a));
  const OpenGopStreams& streams = OpenGopStreams::Get();
  const std::string mp4 = Quote(streams.mp4);

  struct Row {
    const char* name;
    std::string arguments;
    int status;
    const char* expected;  // part of the message
    std::filesystem::path output;
    const char* environment = "";
  } rows[] = {
      {"missing input", Quote(dir / "missing.hevc") + " -o " + Quote(dir / "a.heic"), 1, "cannot read", dir / "a.heic"},
      {"not HEVC", Quote(h264) + " -o " + Quote(dir / "c.heic"), 1, "no HEVC video stream", dir / "c.heic"},
      {"not a stream", Quote(garbage) + " -o " + Quote(dir / "d.heic"), 1, "", dir / "d.heic"},
      {"unwritable output", Quote(kData + "/main8.mp4") + " -o " + Quote(dir / "no" / "e.heic"), 1, "", dir / "no" / "e.heic"},
      {"the muxer's second write fails", Quote(kData + "/main8.mp4") + " -o " + Quote(dir / "h.heic"), 1, "cannot write",
       dir / "h.heic", "LD_PRELOAD=" SECOND_WRITE_FAILS " ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 "},
      {"no output given", Quote(kData + "/main8.mp4"), 2, "no output", {}},
      {"primary out of range", Quote(kData + "/main8.mp4") + " --primary 2 -o " + Quote(dir / "f.heic"), 2, "only 1",
       dir / "f.heic"},
      {"no random-access picture", Quote(streams.noRandomAccess) + " -o " + Quote(dir / "i.heic"), 1,
       "no-irap.hevc stream #0: no random-access picture (IDR, CRA or BLA)", dir / "i.heic"},
      {"--time past the end", mp4 + " --time 9 -o " + Quote(dir / "j.heic"), 1,
       "stream #0: no random-access picture at or after 9 s (the stream lasts 2 s)", dir / "j.heic"},
      {"--frame past the last", mp4 + " --frame 6 -o " + Quote(dir / "k.heic"), 1,
       "stream #0: --frame 6: the stream has only 5 random-access pictures", dir / "k.heic"},
      {"--time not seconds", mp4 + " --time 1:30 -o " + Quote(dir / "l.heic"), 2, "--time needs seconds", dir / "l.heic"},
      {"--frame 0", mp4 + " --frame 0 -o " + Quote(dir / "m.heic"), 2, "--frame needs a picture number from 1",
       dir / "m.heic"},
      {"--time and --frame", mp4 + " --time 1 --frame 1 -o " + Quote(dir / "n.heic"), 2, "exclude each other",
       dir / "n.heic"},
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

// Streams as recorders, broadcasts and editors leave them give the picture asked for or a one-line
// refusal that writes nothing: the last access unit cut short (a recording stopped mid-picture), a
// PPS of another id added mid-stream, a concatenated MPEG-TS that changes picture size.
TEST(Heifmux, EveryStreamGivesTheRightPictureOrARefusal) {
  TempDir dir;
  const auto encode = [&](const std::string& size, const std::string& output) {
    RunCommand("ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=" + size + ":rate=25 -frames:v 21 -c:v"
               " libx265 -x265-params keyint=10:min-keyint=10:scenecut=0:open-gop=0:log-level=error -y " + Quote(dir / output));
  };
  encode("192x128", "clean.mp4");  // its last access unit is an IDR picture
  encode("320x240", "small.ts");
  encode("640x480", "large.ts");
  RunCommand("ffmpeg -hide_banner -loglevel error -i " + Quote(dir / "clean.mp4") + " -c copy " + Quote(dir / "clean.hevc") +
             " -c copy " + Quote(dir / "clean.ts") + " && cat " + Quote(dir / "small.ts") + " " + Quote(dir / "large.ts") +
             " >" + Quote(dir / "switch.ts") + " && mkdir " + Quote(dir / "x.hevc"));
  // One picture in four slices, the last of them lost whole.
  RunCommand("ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=192x128 -frames:v 1 -f yuv4mpegpipe - | x265"
             " --input - --y4m --slices 4 --log-level error -o " + Quote(dir / "slices.hevc") + " 2>/dev/null");
  std::vector<Orvane::Proc::CodecParsers::NALU> slices;
  std::vector<uint8_t> picture = codec_test::ReadFile(dir / "slices.hevc");
  Orvane::Proc::CodecParsers::FindAnnexBNalus(picture.data(), picture.size(), slices);
  WriteBytes(dir / "slices-cut.hevc", {picture.begin(), picture.begin() + (slices.back().data - picture.data()) - 3});
  for (const auto& [from, cut] : {std::pair{"clean.hevc", 100}, {"clean.ts", 4 * 188}}) {
    const std::vector<uint8_t> bytes = codec_test::ReadFile(dir / from);
    WriteBytes(dir / ("cut" + std::filesystem::path(from).extension().string()), {bytes.begin(), bytes.end() - cut});
  }
  // x265's own output carries its parameter sets once, ahead of the first picture. A copy of its
  // PPS as PPS 1 (pps_pic_parameter_set_id "1" becomes "010"; the unit has no emulation prevention
  // byte) goes into access unit 12; every slice still uses PPS 0.
  RunCommand("ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=192x128:rate=25 -frames:v 25 -f yuv4mpegpipe - |"
             " x265 --input - --y4m --keyint 10 --min-keyint 10 --no-scenecut --log-level error -o " +
             Quote(dir / "one-pps.hevc") + " 2>/dev/null");
  std::vector<uint8_t> stream = codec_test::ReadFile(dir / "one-pps.hevc");
  std::vector<Orvane::Proc::CodecParsers::NALU> units;
  Orvane::Proc::CodecParsers::FindAnnexBNalus(stream.data(), stream.size(), units);
  const auto pps = *std::find_if(units.begin(), units.end(), [](const auto& u) { return (u.data[0] >> 1) == 34; });
  std::string bits;
  for (size_t i = 2; i < pps.size; ++i) bits += std::bitset<8>(pps.data[i]).to_string();
  bits = "010" + bits.substr(1, bits.find_last_of('1') - 1) + "1";
  bits.resize((bits.size() + 7) / 8 * 8, '0');
  std::vector<uint8_t> pps1 = {0, 0, 0, 1, pps.data[0], pps.data[1]};
  for (size_t i = 0; i < bits.size(); i += 8) pps1.push_back(static_cast<uint8_t>(std::stoi(bits.substr(i, 8), nullptr, 2)));
  stream.insert(stream.begin() + std::stol(Probe(dir / "one-pps.hevc", "packet=pos").at(12)), pps1.begin(), pps1.end());
  WriteBytes(dir / "pps1.hevc", stream);

  struct Row {
    const char* name;
    std::string arguments;
    int status;
    std::string expected;  // the picture's digest, or part of the message
    std::filesystem::path output = {};
  } rows[] = {
      {"raw, last access unit cut short", Quote(dir / "cut.hevc") + " --frame 3", 1, "the picture is cut short"},
      {"raw, last slice of the last picture lost", Quote(dir / "slices-cut.hevc"), 1, "the picture is cut short"},
      {"MPEG-TS, last PES packet cut short", Quote(dir / "cut.ts") + " --frame 3", 1, "the picture is cut short"},
      {"PPS 1 added, PPS 0 still used", Quote(dir / "pps1.hevc") + " --frame 3", 0,
       RandomAccessDigests(dir / "one-pps.hevc").at(2)},
      {"MPEG-TS changing size", Quote(dir / "switch.ts") + " --frame 6", 0, RandomAccessDigests(dir / "large.ts").at(2)},
      {"input a directory", Quote(dir / "x.hevc"), 1, "x.hevc: is a directory"},
      {"output a directory", Quote(dir / "clean.hevc"), 1, "x.hevc: is a directory", dir / "x.hevc"},
      {"clean, --no-verify", Quote(dir / "clean.hevc") + " --frame 2 --no-verify", 0,
       RandomAccessDigests(dir / "clean.mp4").at(1)},
  };
  const std::filesystem::path heic = dir / "image.heic", item = dir / "item.hevc";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(heic);
    const Outcome outcome = Heifmux(row.arguments + " -o " + Quote(row.output.empty() ? heic : row.output));
    ASSERT_EQ(outcome.status, row.status) << outcome.output;
    if (row.status != 0) {
      EXPECT_NE(outcome.output.find(row.expected), std::string::npos) << outcome.output;
      EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'), 1) << outcome.output;
      EXPECT_FALSE(std::filesystem::exists(heic));
      continue;
    }
    const HeifItem image = ReadHeif(heic).items.begin()->second;
    WriteBytes(item, ItemAsAnnexB(image));
    EXPECT_EQ(FrameDigests(item, "-pix_fmt yuv420p"), std::vector<std::string>{row.expected});
    const auto decoded = [&](const char* entry) { return static_cast<uint32_t>(std::stoul(Probe(item, entry).at(0))); };
    EXPECT_EQ(image.ispe, std::make_pair(decoded("frame=width"), decoded("frame=height")));
  }
}

// Each image carries the colour its stream declares, as libheif reads it back (and heif-info says
// so): colr nclx from the SPS's VUI, mdcv and clli from the picture's SEI, none essential; --verbose
// says which. A stream that declares none gives the very file it gave before colour properties.
TEST(Heifmux, ImagesCarryTheColourTheirStreamsDeclare) {
  const std::string hdr10 = "--colorprim bt2020 --transfer smpte2084 --colormatrix bt2020nc --max-cll 1000,400 --master-display "
                            "'G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)'";
  const struct Row { const char* name; std::string x265; std::vector<std::string> expected; const char* verbose; } rows[] = {
      {"HDR10 (PQ)", hdr10, {"colr nclx 9 16 9 0", "mdcv 13250 34500 7500 3000 34000 16000 15635 16450 10000000 1", "clli 1000 400"},
       "colr nclx 9/16/9 limited range, mdcv, clli"},
      {"HLG", "--colorprim bt2020 --transfer arib-std-b67 --colormatrix bt2020nc", {"colr nclx 9 18 9 0"}, "colr nclx 9/18/9 limited range"},
      {"full-range BT.709", "--range full --colorprim bt709 --transfer bt709 --colormatrix bt709", {"colr nclx 1 1 1 1"}, "colr nclx 1/1/1 full range"},
      {"full range alone", "--range full", {"colr nclx 2 2 2 1"}, "colr nclx 2/2/2 full range"},
      {"plain", "", {}, "none"},
  };
  TempDir dir;
  RunCommand("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=64x64 -frames:v 1 -pix_fmt yuv420p10le -f rawvideo " +
             Quote(dir / "in.yuv"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RunCommand("x265 --input " + Quote(dir / "in.yuv") + " --input-res 64x64 --fps 25 --frames 1 --input-depth 10 --output-depth 10 "
               "--log-level error --no-progress " + row.x265 + " -o " + Quote(dir / "in.hevc"));
    const Outcome muxed = Heifmux("-v " + Quote(dir / "in.hevc") + " -o " + Quote(dir / "out.heic"));
    ASSERT_EQ(muxed.status, 0) << muxed.output;
    EXPECT_EQ(ReadHeif(dir / "out.heic").items.at(1).colour, row.expected);
    EXPECT_NE(muxed.output.find(std::string("Image #1 colour properties: ") + row.verbose + "\n"), std::string::npos) << muxed.output;
    const std::string info = RunCommand("heif-info " + Quote(dir / "out.heic"));
    EXPECT_NE(info.find(row.expected.empty() ? "color profile: no" : "color profile: nclx"), std::string::npos) << info;
  }
  Heifmux(Quote(kData + "/main10.hevc") + " -o " + Quote(dir / "plain.heic"));
  EXPECT_EQ(RunCommand("sha256sum < " + Quote(dir / "plain.heic")).substr(0, 64),
            "90c3ab781b0ffb7d465462b9d7c5c3cefafa6cffaf826e4b303cb00620e9e105");
}

}  // namespace
