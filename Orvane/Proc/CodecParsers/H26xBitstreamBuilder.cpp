#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <source_location>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Throw.h"

namespace Orvane::Proc::CodecParsers {
namespace {

constexpr const char kUnit[] = "Orvane/Proc/CodecParsers/H26xBitstreamBuilder";
constexpr const char kPendingBits[] =
    "Pending bits not yet written to the buffer, call FinishNALU() first.";
constexpr uint64_t kGrowthStep = 4096;

[[noreturn]] void ThrowBitstream(const char* function, const char* message,
                                 std::source_location at = std::source_location::current()) {
  ThrowException<BitstreamException>(kUnit, function, message, at);
}

// A code of n leading zeros followed by x in n + 1 bits, where x is the code number plus one.
void AppendExpGolomb(H26xBitstreamBuilder& b, uint64_t x) {
  const auto n = static_cast<uint64_t>(std::bit_width(x) - 1);
  b.AppendU64(0, n);
  b.AppendU64(x, n + 1);
}

}  // namespace

H26xBitstreamBuilder::H26xBitstreamBuilder(bool emulationPrevention)
    : emulationPrevention(emulationPrevention), buffer(kGrowthStep) {}

void H26xBitstreamBuilder::AppendU64(uint64_t value, uint64_t bits) {
  if (bits > 64) ThrowBitstream("AppendU64", "Overflow error");
  while (bits != 0) {
    if (freeBits == 0) FlushReg();
    const uint64_t k = std::min(freeBits, bits);
    bits -= k;
    const uint64_t chunk = k == 64 ? value : (value >> bits) & ((uint64_t{1} << k) - 1);
    reg = (k == 64 ? 0 : reg << k) | chunk;
    freeBits -= k;
  }
}

void H26xBitstreamBuilder::AppendUE(uint32_t value) {
  // The code number plus one needs 33 bits here, which the readers cannot take back.
  if (value == 0xFFFFFFFFu) ThrowBitstream("AppendUE", "Overflow error");
  AppendExpGolomb(*this, uint64_t{value} + 1);
}

void H26xBitstreamBuilder::AppendSE(int32_t value) {
  // Worked in 64 bits: 1 - 2 * value overflows 32 bits for large negative values.
  const int64_t v = value;
  const uint64_t x = v > 0 ? static_cast<uint64_t>(2 * v) : static_cast<uint64_t>(1 - 2 * v);
  if (x > 0xFFFFFFFFu) ThrowBitstream("AppendSE", "Overflow error");
  AppendExpGolomb(*this, x);
}

void H26xBitstreamBuilder::BeginNALU(uint32_t nal_unit_type, uint32_t nal_ref_idc) {
  if (Pending()) ThrowBitstream("BeginNALU", kPendingBits);
  inNALU = true;
  naluStart = bytesWritten;
  AppendU64(0, 1);  // forbidden_zero_bit
  AppendU64(nal_ref_idc, 2);
  if (nal_unit_type == 0) ThrowBitstream("BeginNALU", "Invalid NALU");
  AppendU64(nal_unit_type, 5);
}

void H26xBitstreamBuilder::BeginNALU(uint32_t nal_unit_type) {
  if (Pending()) ThrowBitstream("BeginNALU", kPendingBits);
  inNALU = true;
  naluStart = bytesWritten;
  AppendU64(0, 1);  // forbidden_zero_bit
  AppendU64(nal_unit_type, 6);
  AppendU64(0, 6);  // nuh_layer_id
  AppendU64(1, 3);  // nuh_temporal_id_plus1
}

void H26xBitstreamBuilder::FinishNALU() {
  AppendU64(1, 1);              // rbsp_stop_one_bit
  AppendU64(0, freeBits % 8);   // rbsp_alignment_zero_bit
  // Still inside the unit, so that its last bytes get emulation prevention too.
  Flush();
  inNALU = false;
}

void H26xBitstreamBuilder::EndNALU() {
  Flush();
  if (emulationPrevention && inNALU && bytesWritten - naluStart >= 2 && buffer[bytesWritten - 1] == 0 &&
      buffer[bytesWritten - 2] == 0) {
    Reserve(1);
    buffer[bytesWritten++] = 0x03;
  }
  inNALU = false;
}

void H26xBitstreamBuilder::FlushReg() {
  if (!Pending()) return;
  const uint64_t pending = 64 - freeBits;
  const uint64_t bytes = (pending + 7) / 8;
  const uint64_t aligned = reg << freeBits;  // freeBits < 64 here
  if (emulationPrevention && inNALU) {
    if (pending % 8 != 0) {
      ThrowBitstream("FlushReg", "Emulation prevention bytes only works on complete bytes being flushed");
    }
    Reserve(2 * bytes);
    uint8_t* out = buffer.data();
    for (uint64_t i = 0; i < bytes; ++i) {
      const auto b = static_cast<uint8_t>(aligned >> (56 - 8 * i));
      // Only the unit's own bytes count: a 00 00 written before the unit began (a length
      // field, the trailing zeros of an appended unit) is not part of a pattern inside it.
      if (b <= 0x03 && bytesWritten - naluStart >= 2 && out[bytesWritten - 1] == 0 &&
          out[bytesWritten - 2] == 0) {
        out[bytesWritten++] = 0x03;
      }
      out[bytesWritten++] = b;
    }
  } else {
    Reserve(bytes);
    uint8_t* out = buffer.data() + bytesWritten;
    for (uint64_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(aligned >> (56 - 8 * i));
    bytesWritten += bytes;
  }
  reg = 0;
  freeBits = 64;
}

void H26xBitstreamBuilder::AppendAnnexBStartCode() {
  if (Pending()) ThrowBitstream("AppendAnnexBStartCode", kPendingBits);
  AppendU64(1, 32);
  FlushReg();
}

void H26xBitstreamBuilder::AppendNALU(const NALU& nalu) {
  if (Pending()) ThrowBitstream("AppendNALU", kPendingBits);
  if (nalu.size == 0) return;
  if (buffer.size() - bytesWritten < nalu.size) buffer.resize(bytesWritten + nalu.size);
  std::memcpy(buffer.data() + bytesWritten, nalu.data, nalu.size);
  bytesWritten += nalu.size;
}

uint64_t H26xBitstreamBuilder::BytesInBuffer() const {
  if (Pending()) ThrowBitstream("BytesInBuffer", kPendingBits);
  return bytesWritten;
}

const uint8_t* H26xBitstreamBuilder::data() const {
  if (Pending()) ThrowBitstream("data", kPendingBits);
  return buffer.data();
}

void H26xBitstreamBuilder::Reserve(uint64_t bytes) {
  while (buffer.size() - bytesWritten < bytes) buffer.resize(buffer.size() + kGrowthStep);
}

}  // namespace Orvane::Proc::CodecParsers
