#include "ExifItem.h"

#include <heif_file.h>

#include <sstream>

#include "Orvane/Proc/ImageMetadata.h"

namespace Orvane::Proc {

std::vector<std::string> SplitMetadataName(const std::string& name) {
  std::vector<std::string> parts;
  std::istringstream in(name);
  for (std::string part; std::getline(in, part, '.');) parts.push_back(std::move(part));
  return parts;
}

uint32_t FindTiffHeaderOffset(const uint8_t* block, size_t size) {
  if (size <= 4) return 0;
  size_t p = 0;
  for (; p + 4 < size; ++p) {
    const uint8_t* b = block + p;
    const bool bigEndian = b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42;
    const bool littleEndian = b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0;
    if (bigEndian || littleEndian) break;
  }
  return static_cast<uint32_t>(p);
}

std::vector<uint8_t> MakeExifPayload(const uint8_t* block, size_t size) {
  const uint32_t offset = FindTiffHeaderOffset(block, size);
  std::vector<uint8_t> payload;
  payload.reserve(4 + size);
  for (int shift = 24; shift >= 0; shift -= 8) payload.push_back(static_cast<uint8_t>(offset >> shift));
  payload.insert(payload.end(), block, block + size);
  return payload;
}

void AddExifItem(heif::HeifFile& file, uint32_t imageId, const Conf::IFormatCodec& codec) {
  if (!codec.ExistsStreamMetadata()) return;

  auto meta = ImageMetadata::Create();
  for (const Core::Property& entry : codec.GetStreamMetadata()) {
    const std::vector<std::string> parts = SplitMetadataName(entry.Name());
    if (parts.size() == 3) meta->SetValue(parts[0], parts[1], parts[2], entry.GetString());
  }
  const BlobPtr block = meta->WriteExif(BlobPtr());
  if (!block) return;

  const std::vector<uint8_t> payload = MakeExifPayload(block->GetData(), block->GetSize());
  const heif_item_id exifId = file.add_new_infe_box("Exif")->get_item_ID();
  file.add_iref_reference(exifId, fourcc("cdsc"), {imageId});
  file.append_iloc_data(exifId, payload);
}

}  // namespace Orvane::Proc
