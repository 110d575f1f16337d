// SPDX-License-Identifier: MIT
// The vector step's primitives for x86-64 with SSSE3, SSE4.1, SSE4.2 and
// POPCNT (x86-64-v2), without BMI: 16-byte registers.

using V16 = __m128i;

inline V16 load16(const void *p) { return _mm_loadu_si128(static_cast<const __m128i *>(p)); }
inline void store16(char *o, V16 v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(o), v); }
inline V16 splat16(char c) { return _mm_set1_epi8(c); }
// The bytes of t under the low four bits of each byte of `at`; 0 where
// its high bit is set.
inline V16 lookup16(V16 t, V16 at) { return _mm_shuffle_epi8(t, at); }
inline V16 min16(V16 a, V16 b) { return _mm_min_epu8(a, b); }
inline V16 equal16(V16 a, V16 b) { return _mm_cmpeq_epi8(a, b); }
inline V16 either16(V16 a, V16 b) { return _mm_or_si128(a, b); }
inline V16 but16(V16 a, V16 b) { return _mm_andnot_si128(b, a); }
// a, with the words (byte pairs) of b that the bits of `words` name.
template <int words> V16 blend_words(V16 a, V16 b) { return _mm_blend_epi16(a, b, words); }
// Above the blank, in ASCII: a signed compare, as x86 has no unsigned one.
inline V16 above_blank16(V16 v) { return _mm_cmpgt_epi8(v, splat16(' ')); }
// pshufb reads white_table under the low four bits of a byte, and gives 0
// for one with its high bit set, which is never white space.
inline V16 white16(V16 v) { return equal16(lookup16(load16(white_table), v), v); }

// x is never 0, for which bsf gives no count.  Written out because the
// compilers widen the count as an int, and clear its register before.
inline uint64_t zeros_below(uint64_t x) {
  uint64_t n;
  asm("bsf %1, %0" : "=r"(n) : "r"(x));
  return n;
}
// Takes the lowest set bit of x away and returns where it was; 64 where
// x is 0.  bsf leaves its result undefined for 0 but says so in ZF.  The
// bit is cleared apart from the count, not by btr of it, so that the next
// count waits on one and and one lea, not on this count too.
inline uint64_t next_at(uint64_t &x) {
  static constexpr uint64_t none = 64;
  uint64_t at;
  asm("bsf %1, %0\n\tcmovz %2, %0" : "=&r"(at) : "r"(x), "m"(none) : "cc");
  x &= x - 1;
  return at;
}

// next_at takes the bits of a mask from the lowest up.
inline uint64_t in_order(uint64_t x) { return x; }

#include "one-by-one.h"

// The bytes of the 16 at a and at b that are the same, a bit each.
inline unsigned same16(const unsigned char *a, const unsigned char *b) {
  return _mm_movemask_epi8(equal16(load16(a), load16(b)));
}

inline uint64_t mask(Block m) {
  uint64_t bits = 0;
  for (int k = 0; k < 4; ++k)
    bits |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m.part[k]))) << 16 * k;
  return bits;
}
inline bool all(Block m) {
  const V16 both =
      _mm_and_si128(_mm_and_si128(m.part[0], m.part[1]), _mm_and_si128(m.part[2], m.part[3]));
  return _mm_test_all_ones(both) != 0;
}
