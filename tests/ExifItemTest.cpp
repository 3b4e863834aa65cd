#include "ExifItem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Orvane::Proc::FindTiffHeaderOffset;
using Orvane::Proc::MakeExifPayload;
using Orvane::Proc::SplitMetadataName;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(ExifItem, SplitsMetadataNamesLikeAStreamReadUpToEachDot) {
  struct Row {
    const char* name;
    std::string input;
    std::vector<std::string> expected;
  } rows[] = {
      {"three parts", "Exif.Image.Make", {"Exif", "Image", "Make"}},
      {"two parts", "Exif.Image", {"Exif", "Image"}},
      {"four parts", "Exif.Image.Make.X", {"Exif", "Image", "Make", "X"}},
      {"empty name", "", {}},
      {"leading dot", ".Image.Make", {"", "Image", "Make"}},
      {"trailing dot gives no empty last part", "Exif.Image.Make.", {"Exif", "Image", "Make"}},
      {"two dots in a row", "Exif..Make", {"Exif", "", "Make"}},
      {"no dot", "Make", {"Make"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SplitMetadataName(row.input), row.expected);
  }
}

TEST(ExifItem, FindsTheTiffHeader) {
  const std::string exifId("Exif\0\0", 6);
  struct Row {
    const char* name;
    std::vector<uint8_t> block;
    uint32_t expected;
  } rows[] = {
      {"little-endian TIFF at 0", Bytes(std::string("II*\0\x08\0\0\0", 8)), 0},
      {"big-endian TIFF at 0", Bytes(std::string("MM\0*\0\0\0\x08", 8)), 0},
      {"behind the Exif identifier", Bytes(exifId + std::string("II*\0\x08\0\0\0", 8)), 6},
      {"big-endian behind the identifier", Bytes(exifId + std::string("MM\0*\0\0\0\x08", 8)), 6},
      {"byte order marks without 42 do not count", Bytes(std::string("II\0*MM\0*\0", 9)), 4},
      {"none found: where the search stopped", Bytes("abcdefgh"), 4},
      {"four bytes: no search", Bytes("abcd"), 0},
      {"empty block", {}, 0},
      {"last four bytes: the stop position", Bytes(std::string("xyII*\0", 6)), 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FindTiffHeaderOffset(row.block.data(), row.block.size()), row.expected);
  }
}

TEST(ExifItem, PayloadIsBigEndianOffsetThenTheBlockUnchanged) {
  const std::vector<uint8_t> block = Bytes(std::string("Exif\0\0II*\0\x08\0\0\0", 14));
  const std::vector<uint8_t> payload = MakeExifPayload(block.data(), block.size());
  ASSERT_EQ(payload.size(), block.size() + 4);
  EXPECT_EQ(std::vector<uint8_t>(payload.begin(), payload.begin() + 4), (std::vector<uint8_t>{0, 0, 0, 6}));
  EXPECT_EQ(std::vector<uint8_t>(payload.begin() + 4, payload.end()), block);

  const std::vector<uint8_t> tiny = Bytes("abcd");
  EXPECT_EQ(MakeExifPayload(tiny.data(), tiny.size()), (std::vector<uint8_t>{0, 0, 0, 0, 'a', 'b', 'c', 'd'}));
}

}  // namespace
