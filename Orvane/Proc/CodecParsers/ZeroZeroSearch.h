#pragma once
// The search both NAL unit scanning and the RBSP copy are built on: the first 00 00 x in a
// byte range, where x is 01 for a start code and 03 for an emulation-prevention pattern.
//
// On x86-64 it tests 32 positions per step with SSE2 (part of every x86-64 processor, so no
// dispatch is needed); elsewhere it hops between occurrences of x with memchr. Both forms are
// compiled where they can be, so that each is tested against the other.
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ORVANE_ZERO_ZERO_SSE2 1
#endif

namespace Orvane::Proc::CodecParsers::detail {

// The last bytes of a range, one position at a time.
inline const uint8_t* FindZeroZeroTail(const uint8_t* p, const uint8_t* end, uint8_t third) {
  for (; end - p >= 3; ++p) {
    if (p[0] == 0 && p[1] == 0 && p[2] == third) return p;
  }
  return end;
}

// The memchr form, for processors without SSE2: hop to each x and look back.
inline const uint8_t* FindZeroZeroPortable(const uint8_t* from, const uint8_t* end,
                                           uint8_t third) {
  const uint8_t* p = from;
  while (end - p >= 3) {
    const void* hit = std::memchr(p + 2, third, static_cast<size_t>(end - (p + 2)));
    if (hit == nullptr) return end;
    const uint8_t* x = static_cast<const uint8_t*>(hit);
    if (x[-1] == 0 && x[-2] == 0) return x - 2;
    p = x - 1;
  }
  return end;
}

#ifdef ORVANE_ZERO_ZERO_SSE2
// The matches among the 32 positions [q, q + 32), read from the 34 bytes [q, q + 34): the low and
// the high 16 positions, a byte of ones at each match.
inline void ZeroZeroStep(const uint8_t* q, __m128i wanted, __m128i& low, __m128i& high) {
  const __m128i zero = _mm_setzero_si128();
  const auto load = [q](int offset) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + offset)); };
  low = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(load(0), zero), _mm_cmpeq_epi8(load(1), zero)),
                      _mm_cmpeq_epi8(load(2), wanted));
  high = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(load(16), zero), _mm_cmpeq_epi8(load(17), zero)),
                       _mm_cmpeq_epi8(load(18), wanted));
}

inline uint32_t ZeroZeroMask(__m128i low, __m128i high) {
  return static_cast<uint32_t>(_mm_movemask_epi8(low)) | static_cast<uint32_t>(_mm_movemask_epi8(high)) << 16;
}

inline const uint8_t* FindZeroZeroSSE2(const uint8_t* from, const uint8_t* end, uint8_t third) {
  const uint8_t* p = from;
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(third));
  __m128i low, high;
  // Each step reads the 34 bytes [p, p + 34) and decides the 32 positions [p, p + 32).
  while (end - p >= 34) {
    ZeroZeroStep(p, wanted, low, high);
    if (_mm_movemask_epi8(_mm_or_si128(low, high)) != 0) return p + std::countr_zero(ZeroZeroMask(low, high));
    p += 32;
  }
  // The positions left after whole steps, in one more step over the last 34 bytes: it overlaps
  // positions already decided, none of them a match. Short ranges go one position at a time.
  if (p == from || end - p < 3) return FindZeroZeroTail(p, end, third);
  const uint8_t* const q = end - 34;
  ZeroZeroStep(q, wanted, low, high);
  const uint32_t mask = ZeroZeroMask(low, high);
  return mask != 0 ? q + std::countr_zero(mask) : end;
}
#endif

// The first p in [from, end) with p[0] == 0, p[1] == 0 and p[2] == third and all three bytes
// inside the range; `end` when there is none.
inline const uint8_t* FindZeroZero(const uint8_t* from, const uint8_t* end, uint8_t third) {
#ifdef ORVANE_ZERO_ZERO_SSE2
  return FindZeroZeroSSE2(from, end, third);
#else
  return FindZeroZeroPortable(from, end, third);
#endif
}

}  // namespace Orvane::Proc::CodecParsers::detail
