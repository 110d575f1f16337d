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
//   goes on after it; where a run breaks at the same place in every
//   compare, the break becomes part of what each compare matches.
// - Other well-formed lines apart by white space: the buffer is read 64
//   bytes at a time into bit masks, and the lines are taken as long as
//   they fit, the masks of each window carrying over to the next.  Where a
//   line is followed by the same white space as the one before it, a run
//   is tried again.
// A line is taken only when its three cells are above the blank (and in
// the windows, not commas) and its white space ends at least 16 bytes
// before the end of the buffer, beyond which nothing is read.

#define AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

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

// Writes the lines of one compare of a run at p, at o.
template <int stride> AVX2 inline void put_run(const unsigned char *p, char *o) {
  for (ptrdiff_t j = 0; j < Run<stride>::lines; j += 2)
    put_two_at<stride>(p + j * stride, o + 16 * j);
}

// Where a run breaks: the white space after its last line in a compare
// begins at space_from, and the next line at next_line.
struct Break {
  char space_from, next_line;
};

// The floor of a run of the given stride that breaks at the same place
// each time, for the 32 bytes from byte `first` of a compare: the run's
// floor up to the break, its white space exactly, and there the next line's
// first cell.
template <int stride> AVX2 __m256i break_floor(Break b, int first) {
  const __m256i cells =
      _mm256_setr_epi8('!', -1, '!', -1, '!', -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, '!', -1,
                       '!', -1, '!', -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  __m256i place =
      _mm256_add_epi8(_mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17,
                                       18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31),
                      _mm256_set1_epi8(static_cast<char>(first)));
  __m256i space_from = _mm256_set1_epi8(b.space_from), next_line = _mm256_set1_epi8(b.next_line);
  __m256i in_lines = _mm256_cmpgt_epi8(space_from, place);
  __m256i in_space = _mm256_andnot_si256(in_lines, _mm256_cmpgt_epi8(next_line, place));
  __m256i at = load(Run<stride>::table.index + first);
  __m256i lines = _mm256_and_si256(in_lines, _mm256_shuffle_epi8(cells, at));
  return _mm256_or_si256(
      _mm256_or_si256(lines, in_space),
      _mm256_and_si256(_mm256_cmpeq_epi8(next_line, place), _mm256_set1_epi8('!')));
}

// Takes the lines of a run that breaks at the same place in each compare,
// such as one with a blank line after every tenth line, after the compare
// at p, which took `taken` lines and went on to p + again.  The break, the
// white space after the last line up to the next one, is taken into the
// pattern as it stands at p, so that each compare takes its lines whole.
// p is left at the first compare that does not match.
template <int stride>
AVX2 void take_breaks(const unsigned char *&p, ptrdiff_t again, size_t taken,
                      const unsigned char *last, char *&o) {
  Break b{static_cast<char>((taken - 1) * stride + 5), static_cast<char>(again)};
  const __m256i floor_low = break_floor<stride>(b, 0), floor_high = break_floor<stride>(b, 32);
  const __m256i want_low = _mm256_min_epu8(load(p), floor_low),
                want_high = _mm256_min_epu8(load(p + 32), floor_high);
  for (p += again; p <= last && o <= out_last; p += again, o += 16 * taken) {
    __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(load(p), floor_low), want_low);
    __m256i high = _mm256_cmpeq_epi8(_mm256_min_epu8(load(p + 32), floor_high), want_high);
    put_run<stride>(p, o);
    if (_mm256_movemask_epi8(_mm256_and_si256(low, high)) != -1)
      break;
  }
}

// Takes the lines at p that are followed by the same white space as the
// line at `line`, which ends at p, as long as they last.
template <int stride>
__attribute__((noinline)) AVX2 void take_run(const unsigned char *line, const unsigned char *&from,
                                             const unsigned char *end, char *&to) {
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
  if (end - p < 80)
    return;
  const unsigned char *const last = end - 80;
  while (p <= last && o <= out_last) {
    __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(load(p), floor_low), want_low);
    __m256i high = _mm256_cmpeq_epi8(_mm256_min_epu8(load(p + 32), floor_high), want_high);
    put_run<stride>(p, o);
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
      if (taken > 1 && again < 64) {
        o += 16 * taken;
        take_breaks<stride>(p, again, taken, last, o);
        lone = false;
        continue;
      }
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

// Bit masks of 64 bytes.
struct Bytes {
  uint64_t cells; // above the blank
  uint64_t other; // neither a comma nor a control byte (below the blank, not white space)
};

AVX2 Bytes classify(const unsigned char *p) {
  // A byte is white space when the shuffle finds it under its low bits.
  const __m256i space =
      _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0, ' ', 0, 0,
                       0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0);
  const __m256i comma = _mm256_set1_epi8(','), floor = _mm256_set1_epi8('!');
  __m256i a = load(p), b = load(p + 32);
  __m256i cell_a = _mm256_cmpeq_epi8(_mm256_min_epu8(a, floor), floor),
          cell_b = _mm256_cmpeq_epi8(_mm256_min_epu8(b, floor), floor);
  __m256i fit_a = _mm256_or_si256(cell_a, _mm256_cmpeq_epi8(_mm256_shuffle_epi8(space, a), a)),
          fit_b = _mm256_or_si256(cell_b, _mm256_cmpeq_epi8(_mm256_shuffle_epi8(space, b), b));
  return {bits(cell_a, cell_b), bits(_mm256_andnot_si256(_mm256_cmpeq_epi8(a, comma), fit_a),
                                     _mm256_andnot_si256(_mm256_cmpeq_epi8(b, comma), fit_b))};
}

// Lays a pattern of bytes at each line start of a window, as a product,
// and keeps the part of it that falls past the window for the next one.
// The product, and the bit counts below, are written out because the
// compilers spend more instructions on them otherwise: GCC passes a 128-bit
// product through memory, copies the part past the window from one
// register to another, and clears each count's register before it.
template <uint64_t pattern> struct Layer {
  static constexpr uint64_t bytes = pattern;
  uint64_t over = 0; // the bits of the last product past its window

  // Puts what fell past the window before into `into` with a xor, and
  // returns the pattern laid at the bits of starts.
  AVX2 uint64_t lay(uint64_t starts, uint64_t &into) {
    uint64_t low;
    asm("xor %1, %2\n\tmulx %4, %0, %1"
        : "=&r"(low), "+&r"(over), "+r"(into)
        : "d"(starts), "m"(bytes));
    return low;
  }
};

AVX2 inline uint64_t zeros_below(uint64_t x) {
  uint64_t n;
  asm("tzcnt %1, %0" : "=r"(n) : "r"(x));
  return n;
}
AVX2 inline uint64_t ones(uint64_t x) {
  uint64_t n;
  asm("popcnt %1, %0" : "=r"(n) : "r"(x));
  return n;
}

// Writes the next two lines of `left`, which begin at those bits of q, at
// o; where one is left, the second is the 16 bytes after the window.
AVX2 inline void put_next_two(const unsigned char *q, uint64_t &left, char *o) {
  uint64_t i = zeros_below(left);
  left = _blsr_u64(left);
  uint64_t j = zeros_below(left); // 64 when none is left
  left = _blsr_u64(left);
  put_two<0>(load_two(q + i, q + j), o);
}

// Writes the lines that begin at the bits of starts in the window at q, at
// o, and returns the end of them.  At least six lines, 96 bytes, are
// written, as nearly every window of lines apart by white space holds
// that many; no more than 192.
AVX2 inline char *put_lines(const unsigned char *q, uint64_t starts, char *o) {
  uint64_t left = starts;
  put_next_two(q, left, o);
  put_next_two(q, left, o + 32);
  put_next_two(q, left, o + 64);
  for (char *w = o + 96; left != 0; w += 32)
    put_next_two(q, left, w);
  return o + 16 * ones(starts);
}

// The line before the white space that ends at x, in the lines from the
// one at `first` on, which are well formed up to x; null when none.
inline const unsigned char *line_before(const unsigned char *first, const unsigned char *x) {
  while (x != first && is_space(x[-1]))
    --x;
  if (x == first)
    return nullptr;
  while (x != first && !is_space(x[-1]))
    --x;
  return x;
}

// Takes the lines from p on, which begins a line, 64 bytes at a time, for
// up to `windows` windows, and leaves p at the first line it did not take.
// True when it stopped for the window count only; `line` is then the last
// line it took.
__attribute__((noinline)) AVX2 bool take_windows(int windows, const unsigned char *&line,
                                                 const unsigned char *&p, const unsigned char *end,
                                                 char *&o) {
  // A window writes at most 11 lines, 12 with the odd one out; where that
  // leaves room for fewer windows than asked, the room is counted again.
  ptrdiff_t left = std::min((end - p - 16) / 64, ptrdiff_t{windows}), n;
  if (left <= 0 || o > out_last)
    return false;
  const unsigned char *q = p, *fit; // the lines fit up to there
  char *to = o;
  Layer<0x1f> line_bytes; // a line's five bytes
  Layer<0x0a> commas;     // its second and fourth
  uint64_t top = 0;       // the last byte of the window before is a cell
  do {
    n = to > out_last ? 0 : std::min(left, (out_last - to) / 176 + 1);
    left -= n;
    for (fit = q; n != 0; --n) {
      // A line is five cells, commas second and fourth and only there,
      // with white space after it, and begins at a cell after white space.
      // The lines so found are laid over the window: their bytes must be
      // its cells, and their commas its commas and control bytes, exactly.
      // Lines less than six bytes apart make the products overlap, but
      // only past a byte where they fail.
      Bytes b = classify(q);
      uint64_t starts = b.cells & ~(b.cells << 1 | top);
      // What the lines of the window before laid past it goes into the
      // masks with a xor, which is the same as laying it with the new lines
      // until the two overlap.
      uint64_t cells = b.cells, other = b.other;
      uint64_t bytes = line_bytes.lay(starts, cells);
      uint64_t odd = commas.lay(starts, other);
      uint64_t good = ~(bytes ^ cells) & (odd ^ other);
      if (good != ~0ull) {
        uint64_t bad = ~good;
        to = put_lines(q, starts & (_blsmsk_u64(bad) >> 1), to);
        fit = q + _tzcnt_u64(bad);
        break;
      }
      to = put_lines(q, starts, to);
      top = bytes >> 63; // where the lines fit, a line's byte is a cell
      q += 64;
      fit = q;
    }
  } while (n == 0 && left != 0 && to <= out_last);
  // Every line that begins before `fit` was written; the last of them is
  // where the next step starts.
  const unsigned char *last = line_before(p, fit);
  if (last == nullptr || last == p)
    return false;
  bool more = n == 0 && left == 0;
  if (more)
    line = line_before(p, last);
  p = last;
  o = to - 16;
  return more;
}

// True when the line at p, after the line at `line`, which ends there, may
// begin a run: it is followed by the same white space.
AVX2 bool may_run(const unsigned char *line, const unsigned char *p, const unsigned char *end) {
  ptrdiff_t stride = p - line;
  if (stride > 16 || end - p < 80)
    return false;
  unsigned same = _mm_movemask_epi8(_mm_cmpeq_epi8(load16(line), load16(p)));
  unsigned space = (1u << stride) - 32; // the bytes after the line's five
  return (same & space) == space;
}

// Takes the lines at c.in, after the line at `line`, which ends there.
AVX2 Cursor take_lines_avx2(const unsigned char *line, Cursor c, const unsigned char *end) {
  const unsigned char *p = c.in;
  char *o = c.out;
  for (;;) {
    const unsigned char *from = p;
    if (may_run(line, p, end))
      take_run_after(line, p, end, o);
    // Where a run went far, the windows give up soon for the next one.
    if (!take_windows(p - from >= 64 ? 4 : 256, line, p, end, o))
      return {p, o};
  }
}
#undef AVX2
