#include "HeifBoxReader.h"

#include <heif_file.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <stdexcept>

namespace testing_support {

namespace {

std::string Join(std::initializer_list<uint64_t> values) {
  std::string out;
  for (uint64_t v : values) out += (out.empty() ? "" : " ") + std::to_string(v);
  return out;
}

}  // namespace

HeifFileView ReadHeif(const std::filesystem::path& path) {
  heif::HeifFile file;
  if (const heif::Error error = file.read_from_file(path.c_str())) throw std::runtime_error(error.message);
  HeifFileView view;
  view.primaryItem = file.get_primary_image_ID();
  for (const heif_item_id id : file.get_item_IDs()) {
    HeifItem& item = view.items[id];
    item.type = file.get_item_type(id);
    std::vector<heif::Box_ipco::Property> properties;
    file.get_properties(id, properties);
    for (const auto& property : properties) {
      item.properties.push_back(property.property->get_type_string());
      if (const auto ispe = std::dynamic_pointer_cast<heif::Box_ispe>(property.property)) {
        item.ispe = std::make_pair(ispe->get_width(), ispe->get_height());
      }
      std::string colour;
      if (const auto colr = std::dynamic_pointer_cast<heif::Box_colr>(property.property)) {
        const auto nclx = std::dynamic_pointer_cast<const heif::color_profile_nclx>(colr->get_color_profile());
        colour = nclx ? "colr nclx " + Join({nclx->get_colour_primaries(), nclx->get_transfer_characteristics(),
                                             nclx->get_matrix_coefficients(), nclx->get_full_range_flag()})
                      : "colr other";
      }
      if (const auto box = std::dynamic_pointer_cast<heif::Box_mdcv>(property.property)) {
        const heif_mastering_display_colour_volume& m = box->mdcv;
        colour = "mdcv " + Join({m.display_primaries_x[0], m.display_primaries_y[0], m.display_primaries_x[1], m.display_primaries_y[1],
                                 m.display_primaries_x[2], m.display_primaries_y[2], m.white_point_x, m.white_point_y,
                                 m.max_display_mastering_luminance, m.min_display_mastering_luminance});
      }
      if (const auto box = std::dynamic_pointer_cast<heif::Box_clli>(property.property)) {
        colour = "clli " + Join({box->clli.max_content_light_level, box->clli.max_pic_average_light_level});
      }
      if (!colour.empty()) item.colour.push_back(colour + (property.essential ? " essential" : ""));
      if (const auto hvcC = std::dynamic_pointer_cast<heif::Box_hvcC>(property.property)) {
        heif::StreamWriter writer;
        hvcC->write(writer);
        const std::vector<uint8_t> box = writer.get_data();
        item.hvcC.assign(box.begin() + 8, box.end());  // without the box header
        std::vector<uint8_t> units;
        hvcC->get_headers(&units);
        for (size_t at = 0; at + 4 <= units.size(); at += 4 + item.hvcCUnits.back().size()) {
          const size_t size = size_t{units[at]} << 24 | units[at + 1] << 16 | units[at + 2] << 8 | units[at + 3];
          item.hvcCUnits.emplace_back(units.begin() + at + 4, units.begin() + at + 4 + size);
        }
      }
    }
    // An image's data comes after its hvcC units, each behind 4 bytes of length; an item without
    // data has none.
    size_t headers = 0;
    for (const auto& unit : item.hvcCUnits) headers += 4 + unit.size();
    if (file.get_compressed_image_data(id, &item.data) || item.data.size() < headers) item.data.clear();
    item.data.erase(item.data.begin(), item.data.begin() + static_cast<std::ptrdiff_t>(std::min(headers, item.data.size())));
    if (file.get_iref_box()) {
      for (const auto& reference : file.get_iref_box()->get_references_from(id)) {
        view.references.push_back({reference.header.get_type_string(), id, {reference.to_item_ID.begin(), reference.to_item_ID.end()}});
      }
    }
  }
  return view;
}

std::vector<uint8_t> ItemAsAnnexB(const HeifItem& item) {
  const int lengthSize = (item.hvcC.at(21) & 3) + 1;
  std::vector<uint8_t> out;
  std::vector<std::vector<uint8_t>> units = item.hvcCUnits;
  for (size_t at = 0; at + lengthSize <= item.data.size(); at += units.back().size()) {
    size_t size = 0;
    for (int i = 0; i < lengthSize; ++i) size = size << 8 | item.data[at++];
    if (size > item.data.size() - at) throw std::runtime_error("item data cut short");
    units.emplace_back(item.data.begin() + at, item.data.begin() + at + size);
  }
  for (const auto& unit : units) {
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), unit.begin(), unit.end());
  }
  return out;
}

}  // namespace testing_support
