#pragma once
// The Exif metadata item that describes an image item.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Orvane/Conf/FormatCodec.h"

namespace heif {
class HeifFile;
}

namespace Orvane::Proc {

// The parts of a metadata name between its dots, read the way a stream is read up to each dot:
// "a..b" gives a, "", b; ".a" gives "", a; "a." gives a; "" gives nothing.
std::vector<std::string> SplitMetadataName(const std::string& name);

// Position of the TIFF header ("MM\0*" or "II*\0") inside an Exif block. When none is found the
// position the search stopped at (size - 4); 0 for blocks of 4 bytes or fewer.
uint32_t FindTiffHeaderOffset(const uint8_t* block, size_t size);

// The item data of an Exif item: the TIFF header offset, 32-bit big-endian, then the block.
std::vector<uint8_t> MakeExifPayload(const uint8_t* block, size_t size);

// Adds an "Exif" item built from the stream's metadata entries named "family.group.tag", with a
// "cdsc" reference to the image item. Adds nothing when the stream has no metadata or none of it
// becomes Exif.
void AddExifItem(heif::HeifFile& file, uint32_t imageId, const Conf::IFormatCodec& codec);

}  // namespace Orvane::Proc
