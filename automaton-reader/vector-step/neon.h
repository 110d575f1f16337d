// SPDX-License-Identifier: MIT
// The vector step's primitives for arm64's AdvSIMD (NEON), which every
// arm64 processor has: 16-byte registers.

using V16 = uint8x16_t;

inline V16 load16(const void *p) { return vld1q_u8(static_cast<const uint8_t *>(p)); }
inline void store16(char *o, V16 v) { vst1q_u8(reinterpret_cast<uint8_t *>(o), v); }
inline V16 splat16(char c) { return vdupq_n_u8(static_cast<uint8_t>(c)); }
// The bytes of t under each byte of `at`; 0 where it is 16 or more.
inline V16 lookup16(V16 t, V16 at) { return vqtbl1q_u8(t, at); }
inline V16 min16(V16 a, V16 b) { return vminq_u8(a, b); }
inline V16 equal16(V16 a, V16 b) { return vceqq_u8(a, b); }
inline V16 either16(V16 a, V16 b) { return vorrq_u8(a, b); }
inline V16 but16(V16 a, V16 b) { return vbicq_u8(a, b); }
// a, with the words (byte pairs) of b that the bits of `words` name.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
template <int words> V16 blend_words(V16 a, V16 b) {
  static constexpr auto mask = [] {
    std::array<uint8_t, 16> m{};
    for (int j = 0; j < 16; ++j)
      m[j] = (words >> j / 2 & 1) != 0 ? 0xff : 0;
    return m;
  }();
  return vbslq_u8(vld1q_u8(mask.data()), b, a);
}
// Above the blank, in ASCII, as on x86: a signed compare.
inline V16 above_blank16(V16 v) { return vcgtq_s8(vreinterpretq_s8_u8(v), vdupq_n_s8(' ')); }
// tbl clears every index past the table, where white_table is read under
// a byte's low four bits.
inline V16 white16(V16 v) {
  return equal16(lookup16(load16(white_table), vandq_u8(v, vdupq_n_u8(0x0f))), v);
}

inline uint64_t zeros_below(uint64_t x) { return std::countr_zero(x); }
// next_at takes the bits of a mask from the highest down, as arm64 counts
// the zeros above the highest bit in one instruction: in_order reverses
// them, once a window.
inline uint64_t in_order(uint64_t x) { return __rbitll(x); }
// Takes the highest set bit of x away and returns where it was; 64 where
// x is 0.  A shift by 64 shifts by 0 on arm64, which clears nothing of 0.
inline uint64_t next_at(uint64_t &x) {
  const auto at = static_cast<uint64_t>(std::countl_zero(x));
  x &= ~(uint64_t{1} << 63 >> (at & 63));
  return at;
}

#include "one-by-one.h"

// NEON has no movemask: each byte keeps its own bit, and adds gather eight
// bytes' bits into one.
constexpr uint8_t weights[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};

// The bytes of the 16 at a and at b that are the same, a bit each.
inline unsigned same16(const unsigned char *a, const unsigned char *b) {
  const V16 bits = vandq_u8(equal16(load16(a), load16(b)), vld1q_u8(weights));
  return vaddv_u8(vget_low_u8(bits)) | vaddv_u8(vget_high_u8(bits)) << 8;
}

inline uint64_t mask(Block m) {
  const V16 w = vld1q_u8(weights);
  V16 a = vpaddq_u8(vandq_u8(m.part[0], w), vandq_u8(m.part[1], w));
  V16 b = vpaddq_u8(vandq_u8(m.part[2], w), vandq_u8(m.part[3], w));
  a = vpaddq_u8(a, b);
  a = vpaddq_u8(a, a);
  return vgetq_lane_u64(vreinterpretq_u64_u8(a), 0);
}
inline bool all(Block m) {
  return vminvq_u8(vandq_u8(vandq_u8(m.part[0], m.part[1]), vandq_u8(m.part[2], m.part[3]))) ==
         0xff;
}
