#pragma once
// A small reader of the HEIF boxes the muxer writes, written from ISO/IEC 14496-12 and 23008-12
// independently of libheif, so that tests check our files against the format rather than against
// the library that wrote them.
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

struct HeifItem {
  uint32_t id = 0;
  std::string type;                 // infe item_type, e.g. "hvc1", "Exif"
  std::vector<uint8_t> data;        // the bytes the iloc extents point at, concatenated
  std::vector<std::string> properties;  // four-character codes of the associated properties, in order
  std::optional<std::pair<uint32_t, uint32_t>> ispe;
  std::vector<uint8_t> hvcC;        // the hvcC box payload, when associated
};

struct HeifReference {
  std::string type;
  uint32_t from = 0;
  std::vector<uint32_t> to;
};

struct HeifFileView {
  std::string majorBrand;
  std::vector<std::string> compatibleBrands;
  uint32_t primaryItem = 0;
  std::map<uint32_t, HeifItem> items;
  std::vector<HeifReference> references;
};

// Throws std::runtime_error on anything it cannot follow.
HeifFileView ReadHeif(const std::vector<uint8_t>& file);

// The NAL units of the arrays of an hvcC payload, in the record's order.
std::vector<std::vector<uint8_t>> HvcCNalUnits(const std::vector<uint8_t>& hvcC);

// The image's whole bitstream as an Annex B stream: the hvcC NAL units, then the NAL units of the
// item data, whose length fields have the width the hvcC declares.
std::vector<uint8_t> ItemAsAnnexB(const HeifItem& item);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace testing_support
