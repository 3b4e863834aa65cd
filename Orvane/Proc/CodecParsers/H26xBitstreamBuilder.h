#pragma once
// Writing of H.264 and H.265 syntax: fixed-width fields most significant bit first, Exp-Golomb
// codes, NAL unit headers and rbsp_trailing_bits, into a growing byte buffer, with
// emulation-prevention bytes inserted inside NAL units when the builder is made to.
//
// Bits gather in a 64-bit register and reach the buffer only when it is full or on an explicit
// flush, so a field costs a few shifts.
#include <cstdint>
#include <vector>

namespace Orvane::Proc::CodecParsers {

struct NALU;

class H26xBitstreamBuilder {
 public:
  explicit H26xBitstreamBuilder(bool emulationPrevention);

  // The low `bits` (0 to 64) bits of value.
  void AppendU64(uint64_t value, uint64_t bits);
  void AppendBit(bool flag) { AppendU64(flag ? 1 : 0, 1); }
  // ue(v) of 0 to 2^32 - 2; 2^32 - 1 has no ue(v) code and fails.
  void AppendUE(uint32_t value);
  // se(v); every value but INT32_MIN has a code, and the readers take those of magnitude below
  // 2^30.
  void AppendSE(int32_t value);

  // The NAL unit header: H.264 (forbidden_zero_bit, nal_ref_idc, nal_unit_type) and H.265
  // (forbidden_zero_bit, nal_unit_type, nuh_layer_id 0, nuh_temporal_id_plus1 1).
  void BeginNALU(uint32_t nal_unit_type, uint32_t nal_ref_idc);
  void BeginNALU(uint32_t nal_unit_type);
  // rbsp_trailing_bits, then everything pending into the buffer.
  void FinishNALU();
  // Ends a unit whose data carried its own trailing bits (a CABAC slice's): everything pending
  // into the buffer, then, after a final cabac_zero_word (00 00), the emulation-prevention byte 03
  // that a unit's end calls for, as before any byte of at most 03.
  void EndNALU();
  // Bits of value `bit` up to the next byte boundary (none when on one): the alignment bits that
  // some syntax places before byte-oriented data, such as cabac_alignment_one_bit.
  void ByteAlign(bool bit) { AppendU64(bit ? ~uint64_t{0} : 0, freeBits % 8); }

  // Pending bits into the buffer, the last byte padded with zeros; between a field written bit
  // by bit and raw bytes.
  void Flush() {
    if (Pending()) FlushReg();
  }
  void FlushReg();

  void AppendAnnexBStartCode();
  // The bytes of a NAL unit as they stand, without emulation prevention.
  void AppendNALU(const NALU& nalu);

  uint64_t BytesInBuffer() const;
  // The first output byte; valid until the next write.
  const uint8_t* data() const;

 private:
  bool Pending() const { return freeBits != 64; }
  // Room for `bytes` more output bytes, in the buffer's steps of 4096.
  void Reserve(uint64_t bytes);

  bool emulationPrevention;  // fixed at construction
  bool inNALU = false;
  uint64_t freeBits = 64;
  uint64_t reg = 0;
  uint64_t bytesWritten = 0;
  // The storage in use; the output is its first bytesWritten bytes.
  std::vector<uint8_t> buffer;
  // Where the NAL unit being written began: emulation prevention looks only at its own bytes.
  uint64_t naluStart = 0;
};

}  // namespace Orvane::Proc::CodecParsers
