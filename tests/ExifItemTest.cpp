#include "ExifItem.h"

#include <gtest/gtest.h>

namespace {

using namespace Orvane::Proc;

// Metadata names split like a stream read up to each dot, and the Exif item payload: the offset
// of the TIFF header in the Exif block as 32 bits, then the block.
TEST(ExifItem, NamesAndPayload) {
  EXPECT_EQ(SplitMetadataName(".Image..Make."), (std::vector<std::string>{"", "Image", "", "Make"}));
  const std::vector<std::pair<std::string, uint8_t>> rows = {
      {std::string("Exif\0\0MM\0*\0\0\0\x08", 14), 6}, {std::string("II\0*II*\0\0", 9), 4},
      {"abcdefgh", 4},  // none found: where the search stopped
      {"abcd", 0},      {"", 0}};
  for (const auto& [block, offset] : rows) {
    std::vector<uint8_t> expected = {0, 0, 0, offset};
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(MakeExifPayload(reinterpret_cast<const uint8_t*>(block.data()), block.size()), expected) << testing::PrintToString(block);
  }
}

}  // namespace
