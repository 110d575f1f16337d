// SPDX-License-Identifier: MIT
// The vector step of Vormel, for processors with AVX2; Vormel.cpp includes
// it inside its own namespace.  It copies well-formed transition lines
// straight from the input buffer to the output buffer, as take_line does
// one at a time, and leaves every other line to the scalar reader.  It
// takes two shapes of file:
// - Runs: lines that are each followed by the same white space, from none
//   to eleven bytes (a line feed, CR LF, blanks before the line end, the
//   next line's indentation, lines on one line apart by blanks), up to
//   twelve lines per compare of 64 bytes.  A single line that breaks a run,
//   such as one followed by a blank line, is taken on its own and the run
//   goes on after it.
// - Other well-formed lines apart by white space: a window of 64 bytes is
//   read into bit masks and each line whose white space ends within it is
//   taken.
// A line is taken only when its three cells are above the blank and its
// white space ends before the last 80 bytes of the buffer, which are never
// read here.

#define AVX2 __attribute__((target("avx2,bmi")))

AVX2 inline __m256i load(const void *p) {
  return _mm256_loadu_si256(static_cast<const __m256i *>(p));
}
AVX2 inline __m128i load16(const void *p) {
  return _mm_loadu_si128(static_cast<const __m128i *>(p));
}

AVX2 inline uint64_t bits(__m256i low, __m256i high) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

// Writes two lines at o, 32 bytes, from the 16 bytes of input in each
// lane of two: the first line's cells are bytes 0, 2 and 4 of the low lane,
// the second's bytes second, second + 2 and second + 4 of the high lane.
template <char second> AVX2 void put_two(__m256i two, char *o) {
  constexpr char x = -1, b = second; // x: a byte the shuffle clears
  const __m256i cells = _mm256_setr_epi8(x, x, 0, x, x, x, x, x, 2, x, x, x, x, x, 4, x, x, x, b, x,
                                         x, x, x, x, b + 2, x, x, x, x, x, b + 4, x);
  const __m256i line =
      _mm256_setr_epi8(' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, '\n',
                       ' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, '\n');
  two = _mm256_or_si256(_mm256_shuffle_epi8(two, cells), line);
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), two);
}

AVX2 inline __m256i load_two(const unsigned char *first, const unsigned char *second) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(load16(first)), load16(second), 1);
}

// Writes the lines at p and p + stride.
template <int stride> AVX2 void put_two_at(const unsigned char *p, char *o) {
  if constexpr (stride + 4 < 16)
    put_two<stride>(_mm256_broadcastsi128_si256(load16(p)), o);
  else
    put_two<0>(load_two(p, p + stride), o);
}

// Which byte of a line and its white space each of 64 bytes is compared
// with, in a run of the given stride: as many whole lines as fit, at most
// twelve, and the first byte of the next; -1 where nothing is compared.
// When the first byte that differs is byte j, after_bad[j] is the number
// of lines taken, with the high bit set where the last of them is followed
// by more white space than the run's: where byte j is in that line's white
// space or is the next line's first byte.
template <int stride> struct Run {
  static constexpr int lines = std::min(63 / stride, 12);
  struct Table {
    alignas(32) signed char index[64];
    unsigned char after_bad[64];
  };
  static constexpr Table table = [] {
    Table t{};
    for (int j = 0; j < 64; ++j) {
      t.index[j] = static_cast<signed char>(j <= lines * stride ? j % stride : -1);
      int line = j / stride, at = j % stride;
      t.after_bad[j] = at >= 5 ? (line + 1) | 0x80 : at == 0 && line > 0 ? line | 0x80 : line;
    }
    return t;
  }();
};

// Takes the lines at p that are followed by the same white space as the
// line at `line`, which ends at p, as long as they last.
template <int stride>
AVX2 void take_run(const unsigned char *line, const unsigned char *&from, const unsigned char *end,
                   char *&to) {
  using R = Run<stride>;
  // A byte matches when min(byte, floor) == want: the cells any byte above
  // the blank, the commas and the white space exactly.
  const __m128i head = _mm_setr_epi8('!', ',', '!', ',', '!', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i keep = _mm_setr_epi8(0, 0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i cells =
      _mm_setr_epi8('!', -1, '!', -1, '!', -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i want =
      _mm256_broadcastsi128_si256(_mm_or_si128(_mm_and_si128(load16(line), keep), head));
  const __m256i floor = _mm256_broadcastsi128_si256(cells);
  const __m256i at_low = load(R::table.index), at_high = load(R::table.index + 32);
  const __m256i want_low = _mm256_shuffle_epi8(want, at_low),
                want_high = _mm256_shuffle_epi8(want, at_high);
  const __m256i floor_low = _mm256_shuffle_epi8(floor, at_low),
                floor_high = _mm256_shuffle_epi8(floor, at_high);
  const unsigned char *p = from;
  char *o = to;
  bool lone = false;   // the last compare took one line only
  ptrdiff_t again = 0; // how far the last compare that took part went
  while (end - p >= 80 && o <= out_last) {
    __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(load(p), floor_low), want_low);
    __m256i high = _mm256_cmpeq_epi8(_mm256_min_epu8(load(p + 32), floor_high), want_high);
    for (ptrdiff_t j = 0; j < R::lines; j += 2)
      put_two_at<stride>(p + j * stride, o + 16 * j);
    if (_mm256_movemask_epi8(_mm256_and_si256(low, high)) == -1) {
      p += R::lines * stride;
      o += 16 * R::lines;
      lone = false;
      continue;
    }
    // The lines before the first byte that differs are taken, and the
    // last of them with all its white space where that is longer.
    unsigned first_bad = __builtin_ctzll(~bits(low, high));
    size_t taken = R::table.after_bad[first_bad];
    const unsigned char *next;
    if (taken > 0x80) {
      taken &= 0x7f;
      next = p + first_bad;
      while (next != end && is_space(*next))
        ++next;
      if (next == end)
        next = p + --taken * stride;
    } else {
      next = p + taken * stride;
    }
    // Where a run is broken at the same place each time, such as by a blank
    // line after every tenth line, going as far as the last time lets the
    // next compare begin before this one is done; the asm keeps the
    // compiler from taking next for p, which would make it wait.
    if (__builtin_expect(next - p == again, 1)) {
      asm("" : "+r"(again));
      p += again;
    } else {
      again = next - p;
      p = next;
    }
    o += 16 * taken;
    // The run has ended when a compare takes no line, or one line twice.
    if (taken == 0 || (taken == 1 && lone))
      break;
    lone = taken == 1;
  }
  from = p;
  to = o;
}

// Takes a run of the stride of the line at `line`, which ends at p.
template <int stride = 5>
AVX2 void take_run_after(const unsigned char *line, const unsigned char *&p,
                         const unsigned char *end, char *&o) {
  if constexpr (stride <= 16) {
    if (p - line == stride)
      return take_run<stride>(line, p, end, o);
    return take_run_after<stride + 1>(line, p, end, o);
  }
}

// Bit masks of the 64 bytes at p, where a line begins.
struct Window {
  uint64_t starts; // where the lines begin, if they are well formed
  uint64_t text;   // where a byte is not white space
  uint64_t bad;    // where a byte does not fit those lines
};

AVX2 Window window(const unsigned char *p) {
  // A byte is white space when the shuffle finds it under its low bits.
  const __m256i space =
      _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0, ' ', 0, 0,
                       0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0);
  const __m256i comma = _mm256_set1_epi8(','), floor = _mm256_set1_epi8('!');
  __m256i a = load(p), b = load(p + 32);
  uint64_t text = ~bits(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(space, a), a),
                        _mm256_cmpeq_epi8(_mm256_shuffle_epi8(space, b), b));
  uint64_t commas = bits(_mm256_cmpeq_epi8(a, comma), _mm256_cmpeq_epi8(b, comma));
  uint64_t cells = bits(_mm256_cmpeq_epi8(_mm256_min_epu8(a, floor), floor),
                        _mm256_cmpeq_epi8(_mm256_min_epu8(b, floor), floor));
  // A line begins after white space.  Lines glued together are left to the
  // runs and to the scalar step.
  uint64_t starts = text & ~(text << 1);
  uint64_t lines = starts | starts << 1 | starts << 2 | starts << 3 | starts << 4;
  // Each line is five cells with commas second and fourth, and every other
  // byte is white space; starts closer than five bytes make one of these
  // fail too.
  uint64_t bad = (lines & ~cells) | (~lines & text) | ((starts << 1 | starts << 3) & ~commas);
  return {starts, text, bad};
}

// Takes the lines at c.in, after the line at `line`, which ends there.
AVX2 Cursor take_lines_avx2(const unsigned char *line, Cursor c, const unsigned char *end) {
  const unsigned char *p = c.in;
  // A window takes at most 10 lines and a run 12, of 16 bytes each; an
  // odd count writes 16 bytes more.
  char *o = c.out;
  bool run = true;
  while (end - p >= 80 && o <= out_last) {
    if (run) {
      take_run_after(line, p, end, o);
      if (end - p < 80 || o > out_last)
        break;
    }
    // The lines that begin before the first bad byte are taken, but the
    // last: its white space may not end in the window.
    Window w = window(p);
    unsigned first_bad = _tzcnt_u64(w.bad);
    uint64_t starts = w.starts & ~0ull >> (63 - std::min(first_bad, 63u));
    if ((starts & 1) == 0 || starts == 1)
      break;
    unsigned next = 63 - __builtin_clzll(starts);
    uint64_t take = starts ^ 1ull << next;
    unsigned last = 63 - __builtin_clzll(take);
    // Two lines at a time; an odd one out is written with the 16 bytes
    // after the window, which are not counted.
    uint64_t i = 0, j;
    do {
      take = _blsr_u64(take);
      j = _tzcnt_u64(take); // 64 when none is left
      put_two<0>(load_two(p + i, p + j), o);
      take = _blsr_u64(take);
      i = _tzcnt_u64(take);
      o += 32;
    } while (take != 0);
    o -= j >> 6 << 4;
    // A run may start when the next line is as long, with its white space,
    // as the last one taken.
    unsigned stride = next - last;
    uint64_t shape = 0x1full | 1ull << stride;
    run = stride <= 16 && (w.text >> next & ((shape << 1) - 1)) == shape;
    line = p + last;
    p += next;
  }
  return {p, o};
}
#undef AVX2
