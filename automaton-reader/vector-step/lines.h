// SPDX-License-Identifier: MIT
// The vector step's algorithm, written once over the primitives of a
// layer, which vector-step.cpp includes before it in the layer's own
// namespace.  It takes two shapes of file:
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
// the windows, ASCII and not commas) and its white space ends at least
// read_past bytes before the end of the buffer.  A compare reads 80 bytes ahead.
//
// Each layer gives, for a Block of 64 bytes: load, splat, table and
// lookup, min, equal, mask (a bit a byte) and all; same16 of two 16-byte
// runs; put_two_at and put_last to write a run's lines; lay_product; and
// the bit counts zeros_below (never of 0), ones and below_lowest.  For the
// windows it gives classify, which finds a window's cells and other
// bytes, and put_lines, which writes its lines: line-by-line.h or
// avx512.h.

constexpr ptrdiff_t ahead = 80;

// A byte matches when min(byte, floor) == want.
inline Block matches(Block v, Block floor, Block want) { return equal(min(v, floor), want); }

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
// The lines of a compare are written two at a time, and an odd one out
// may write one line more, which begins at most at byte 63 and is read 16
// bytes on.
static_assert(size_t{16} * (Run<5>::lines + 1) <= out_room && 63 + 16 <= ahead);

// Writes the lines of one compare of a run at p, at o.
template <int stride> inline void put_run(const unsigned char *p, char *o) {
  constexpr ptrdiff_t lines = Run<stride>::lines;
  for (ptrdiff_t j = 0; j + 1 < lines; j += 2)
    put_two_at<stride>(p + j * stride, o + 16 * j);
  if constexpr (lines % 2 != 0)
    put_last<stride>(p + (lines - 1) * stride, o + 16 * (lines - 1));
}

// Where a run breaks: the white space after its last line in a compare
// begins at space_from, and the next line at next_line.
struct Break {
  ptrdiff_t space_from, next_line;
};

// The floor of a run of the given stride that breaks at the same place
// each time: the run's floor up to the break, its white space exactly, and
// there the next line's first cell.
template <int stride> Block break_floor(Break b) {
  alignas(32) unsigned char floor[64];
  for (ptrdiff_t j = 0; j < 64; ++j) {
    const signed char at = Run<stride>::table.index[j];
    floor[j] = j < b.space_from   ? (at < 0                          ? 0
                                     : at == 0 || at == 2 || at == 4 ? '!'
                                                                     : 0xff)
               : j < b.next_line  ? 0xff
               : j == b.next_line ? '!'
                                  : 0;
  }
  return load(floor);
}

// Takes the lines of a run that breaks at the same place in each compare,
// such as one with a blank line after every tenth line, after the compare
// at p, which took `taken` lines and went on to p + again.  The break, the
// white space after the last line up to the next one, is taken into the
// pattern as it stands at p, so that each compare takes its lines whole.
// Returns where the first compare that does not match begins, and where
// its lines were written.
template <int stride>
__attribute__((noinline)) Cursor take_breaks(const unsigned char *p, ptrdiff_t again,
                                             ptrdiff_t taken, const unsigned char *last, char *o,
                                             const char *out_last) {
  const Block floor = break_floor<stride>({(taken - 1) * stride + 5, again});
  const Block want = min(load(p), floor);
  for (p += again; p <= last && o <= out_last; p += again, o += 16 * taken) {
    const Block same = matches(load(p), floor, want);
    put_run<stride>(p, o);
    if (!all(same))
      break;
  }
  return {p, o};
}

// Takes the lines at p that are followed by the same white space as the
// line at `line`, which ends at p, as long as they last.
template <int stride>
__attribute__((noinline)) void take_run(const unsigned char *line, const unsigned char *&from,
                                        const unsigned char *end, char *&to, const char *out_last) {
  using R = Run<stride>;
  if (end - from < ahead)
    return;
  // A byte matches when min(byte, floor) == want: the cells any byte above
  // the blank, the commas and the white space exactly.
  static constexpr unsigned char cells[16] = {'!',  0xff, '!',  0xff, '!',  0xff, 0xff, 0xff,
                                              0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  unsigned char head[16];
  std::memcpy(head, line, 16);
  std::copy_n("!,!,!", 5, head);
  const Block at = load(R::table.index);
  const Block want = lookup(table(head), at), floor = lookup(table(cells), at);
  const unsigned char *p = from;
  char *o = to;
  bool lone = false;   // the last compare took one line only
  ptrdiff_t again = 0; // how far the last compare that took part went
  const unsigned char *const last = end - ahead;
  constexpr ptrdiff_t step = R::lines * stride;
  while (p <= last && o <= out_last) {
    // The compares that stay within both buffers where each matches whole
    // are counted first, so that the loop over them tests one count.
    ptrdiff_t n = std::min((last - p) / step, (out_last - o) / (16 * R::lines)) + 1;
    while (all(matches(load(p), floor, want))) {
      put_run<stride>(p, o);
      p += step;
      o += 16 * R::lines;
      if (--n == 0)
        break;
    }
    if (n == 0) {
      lone = false;
      continue;
    }
    put_run<stride>(p, o);
    // The lines before the first byte that differs are taken, and the
    // last of them with all its white space where that is longer.  The
    // compare is made again here, so that the loop keeps nothing of it.
    const uint64_t same = mask(matches(load(p), floor, want));
    auto first_bad = static_cast<ptrdiff_t>(zeros_below(~same));
    ptrdiff_t taken = R::table.after_bad[first_bad];
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
    // next compare begin before this one is done; the empty asm keeps the
    // compiler from taking next for p, which would make it wait.
    if (__builtin_expect(next - p == again, 1)) {
      asm("" : "+r"(again));
      if (taken > 1 && again < 64) {
        const Cursor c = take_breaks<stride>(p, again, taken, last, o + 16 * taken, out_last);
        p = c.in;
        o = c.out;
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
void take_run_after(const unsigned char *line, const unsigned char *&p, const unsigned char *end,
                    char *&o, const char *out_last) {
  if constexpr (stride <= 16) {
    if (p - line == stride)
      return take_run<stride>(line, p, end, o, out_last);
    return take_run_after<stride + 1>(line, p, end, o, out_last);
  }
}

// Lays a pattern of bytes at each line start of a window, as a product,
// and keeps the part of it that falls past the window for the next one.
template <uint64_t pattern> struct Pattern {
  static constexpr uint64_t bytes = pattern;
  uint64_t over = 0; // the bits of the last product past its window

  // Puts what fell past the window before into `into` with a xor, and
  // returns the pattern laid at the bits of starts.
  uint64_t lay(uint64_t starts, uint64_t &into) { return lay_product(starts, bytes, over, into); }
};

// put_lines writes twelve lines at most.
static_assert(size_t{16} * 12 <= out_room);

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
__attribute__((noinline)) bool take_windows(int windows, const unsigned char *&line,
                                            const unsigned char *&p, const unsigned char *end,
                                            char *&o, const char *out_last) {
  // A window writes at most 11 lines, 12 with the odd one out; where that
  // leaves room for fewer windows than asked, the room is counted again.
  ptrdiff_t left = std::min((end - p - ptrdiff_t{read_past}) / 64, ptrdiff_t{windows}), n;
  if (left <= 0 || o > out_last)
    return false;
  const unsigned char *q = p, *fit; // the lines fit up to there
  char *to = o;
  Pattern<0x1f> line_bytes; // a line's five bytes
  Pattern<0x0a> commas;     // its second and fourth
  uint64_t top = 0;         // the last byte of the window before is a cell
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
      uint64_t bad = (bytes ^ cells) | ~(odd ^ other);
      if (bad != 0) {
        to = put_lines(q, starts & below_lowest(bad), to);
        fit = q + zeros_below(bad);
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
inline bool may_run(const unsigned char *line, const unsigned char *p, const unsigned char *end) {
  ptrdiff_t stride = p - line;
  if (stride > 16 || end - p < ahead)
    return false;
  unsigned space = (1u << stride) - 32; // the bytes after the line's five
  return (same16(line, p) & space) == space;
}

// Takes the lines at c.in, after the line at `line`, which ends there.
Cursor take_lines(const unsigned char *line, Cursor c, const unsigned char *end,
                  const char *out_last) {
  const unsigned char *p = c.in;
  char *o = c.out;
  for (;;) {
    const unsigned char *from = p;
    if (may_run(line, p, end))
      take_run_after(line, p, end, o, out_last);
    // Where a run went far, the windows give up soon for the next one.
    if (!take_windows(p - from >= 64 ? 4 : 256, line, p, end, o, out_last))
      return {p, o};
  }
}
