// SPDX-License-Identifier: MIT
// The vector step's primitives for x86-64 with AVX2, BMI1, BMI2 and
// POPCNT: 64 bytes are two 32-byte registers, and two lines are written
// with one shuffle of two 16-byte lanes.

struct Block {
  __m256i low, high;
};
using Table = __m256i; // 16 bytes, in both lanes

inline __m128i load16(const void *p) { return _mm_loadu_si128(static_cast<const __m128i *>(p)); }
inline __m256i load32(const void *p) { return _mm256_loadu_si256(static_cast<const __m256i *>(p)); }
inline Block load(const void *p) {
  return {load32(p), load32(static_cast<const unsigned char *>(p) + 32)};
}
inline Table table(const unsigned char *p) { return _mm256_broadcastsi128_si256(load16(p)); }

// The bytes of t under the low four bits of each byte of `at`; 0 where
// its high bit is set.
inline Block lookup(Table t, Block at) {
  return {_mm256_shuffle_epi8(t, at.low), _mm256_shuffle_epi8(t, at.high)};
}
inline Block min(Block a, Block b) {
  return {_mm256_min_epu8(a.low, b.low), _mm256_min_epu8(a.high, b.high)};
}
inline Block either(Block a, Block b) {
  return {_mm256_or_si256(a.low, b.low), _mm256_or_si256(a.high, b.high)};
}
// a but not b.
inline Block but(Block a, Block b) {
  return {_mm256_andnot_si256(b.low, a.low), _mm256_andnot_si256(b.high, a.high)};
}
inline Block equal(Block a, Block b) {
  return {_mm256_cmpeq_epi8(a.low, b.low), _mm256_cmpeq_epi8(a.high, b.high)};
}
inline Block splat(char c) { return {_mm256_set1_epi8(c), _mm256_set1_epi8(c)}; }

// The bytes of the 16 at a and at b that are the same, a bit each.
inline unsigned same16(const unsigned char *a, const unsigned char *b) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(load16(a), load16(b)));
}

inline uint64_t mask(Block m) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(m.low)) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(m.high))) << 32;
}
inline bool all(Block m) { return _mm256_movemask_epi8(_mm256_and_si256(m.low, m.high)) == -1; }

// Above the blank, in ASCII: a signed compare, as x86 has no unsigned one.
inline Block above_blank(Block v) {
  return {_mm256_cmpgt_epi8(v.low, _mm256_set1_epi8(' ')),
          _mm256_cmpgt_epi8(v.high, _mm256_set1_epi8(' '))};
}

// The shuffle clears a byte with its high bit set and reads the table
// under the low four bits of the others, which is all white_table needs.
inline Block white(Block v) { return equal(lookup(table(white_table), v), v); }

// Writes two lines at o, 32 bytes, from the 16 bytes of input in each
// lane of two: the first line's cells are bytes 0, 2 and 4 of the low lane,
// the second's bytes second, second + 2 and second + 4 of the high lane.
template <char second> void put_lanes(__m256i two, char *o) {
  constexpr char x = -1, b = second; // x: a byte the shuffle clears
  const __m256i cells = _mm256_setr_epi8(x, x, 0, x, x, x, x, x, 2, x, x, x, x, x, 4, x, x, x, b, x,
                                         x, x, x, x, b + 2, x, x, x, x, x, b + 4, x);
  two = _mm256_or_si256(_mm256_shuffle_epi8(two, cells), table(line_template));
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), two);
}

// Writes the lines at first and second at o.
inline void put_two(const unsigned char *first, const unsigned char *second, char *o) {
  put_lanes<0>(_mm256_inserti128_si256(_mm256_castsi128_si256(load16(first)), load16(second), 1),
               o);
}

// Writes the lines at p and p + stride.
template <int stride> void put_two_at(const unsigned char *p, char *o) {
  if constexpr (stride + 4 < 16)
    put_lanes<stride>(table(p), o);
  else
    put_two(p, p + stride, o);
}

// Writes the line at p, and one more after it, as it costs nothing.
template <int stride> void put_last(const unsigned char *p, char *o) { put_two_at<stride>(p, o); }

// Returns the low half of starts times pattern, after putting the high
// half of the last product, over, into `into` with a xor, and keeps the
// high half of this one in over.  Written out because GCC passes a 128-bit
// product through memory and copies its high half from one register to
// another.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
inline uint64_t lay_product(uint64_t starts, const uint64_t &pattern, uint64_t &over,
                            uint64_t &into) {
  uint64_t low;
  asm("xor %1, %2\n\tmulx %4, %0, %1"
      : "=&r"(low), "+&r"(over), "+r"(into)
      : "d"(starts), "m"(pattern));
  return low;
}

// The bit counts are written out because the compilers clear each count's
// register before it.  tzcnt gives 64 for 0.
inline uint64_t zeros_below(uint64_t x) {
  uint64_t n;
  asm("tzcnt %1, %0" : "=r"(n) : "r"(x));
  return n;
}
inline uint64_t ones(uint64_t x) {
  uint64_t n;
  asm("popcnt %1, %0" : "=r"(n) : "r"(x));
  return n;
}
// Takes the lowest set bit of x away and returns where it was; 64 where
// x is 0.
inline uint64_t next_at(uint64_t &x) {
  const uint64_t at = zeros_below(x);
  x = _blsr_u64(x);
  return at;
}
// next_at takes the bits of a mask from the lowest up.
inline uint64_t in_order(uint64_t x) { return x; }
// The bits below the lowest set bit of x.
inline uint64_t below_lowest(uint64_t x) { return _blsmsk_u64(x) >> 1; }
