#pragma once
// Our HEIF files read back with libheif's file model: items, their properties and data, references
// and the primary item. (The end-to-end tests also read them with exiftool, heif-info and
// heif-convert.)
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct HeifItem {
  std::string type;                     // infe item_type, e.g. "hvc1", "Exif"
  std::vector<uint8_t> data;            // the item's bytes as iloc locates them
  std::vector<std::string> properties;  // four-character codes of the associated properties, in order
  std::optional<std::pair<uint32_t, uint32_t>> ispe;
  std::vector<uint8_t> hvcC;                     // the hvcC box payload, when associated
  std::vector<std::vector<uint8_t>> hvcCUnits;  // its NAL units in the record's order
  // colr, mdcv and clli as libheif reads them: "colr nclx P T M F", "mdcv" with its ten values,
  // "clli" with its two, each followed by " essential" when the item's association says so.
  std::vector<std::string> colour;
};

struct HeifReference {
  std::string type;
  uint32_t from = 0;
  std::vector<uint32_t> to;
};

struct HeifFileView {
  uint32_t primaryItem = 0;
  std::map<uint32_t, HeifItem> items;
  std::vector<HeifReference> references;
};

// Throws std::runtime_error when libheif refuses the file.
HeifFileView ReadHeif(const std::filesystem::path& path);
// An image's whole bitstream in Annex B: the hvcC NAL units, then those of the item data.
std::vector<uint8_t> ItemAsAnnexB(const HeifItem& item);

}  // namespace testing_support
