// SPDX-License-Identifier: MIT
// What the layers of 16-byte registers, SSE4 and NEON, share: 64 bytes
// are four registers and a line is one, and the bit tricks that AVX2 and
// BMI do in one instruction are written out.  Each layer gives V16 and
// its operations on it first, blend_words among them, and the bit counts
// zeros_below, in_order and next_at.

struct Block {
  V16 part[4];
};
using Table = V16;

// Applies f to each register of a and b.
template <class F> Block each(Block a, Block b, F f) {
  return {{f(a.part[0], b.part[0]), f(a.part[1], b.part[1]), f(a.part[2], b.part[2]),
           f(a.part[3], b.part[3])}};
}

inline Block load(const void *p) {
  const auto *b = static_cast<const unsigned char *>(p);
  return {{load16(b), load16(b + 16), load16(b + 32), load16(b + 48)}};
}
inline Table table(const unsigned char *p) { return load16(p); }
inline Block splat(char c) { return {{splat16(c), splat16(c), splat16(c), splat16(c)}}; }
inline Block lookup(Table t, Block at) {
  return each(at, at, [t](V16 i, V16) { return lookup16(t, i); });
}
inline Block min(Block a, Block b) {
  return each(a, b, [](V16 x, V16 y) { return min16(x, y); });
}
inline Block equal(Block a, Block b) {
  return each(a, b, [](V16 x, V16 y) { return equal16(x, y); });
}
inline Block either(Block a, Block b) {
  return each(a, b, [](V16 x, V16 y) { return either16(x, y); });
}
inline Block but(Block a, Block b) {
  return each(a, b, [](V16 x, V16 y) { return but16(x, y); });
}
inline Block above_blank(Block v) {
  return each(v, v, [](V16 a, V16) { return above_blank16(a); });
}
inline Block white(Block v) {
  return each(v, v, [](V16 a, V16) { return white16(a); });
}

// Writes the line whose cells are at the bytes of `in` that `cells` names.
inline void put_line(V16 in, V16 cells, char *o) {
  store16(o, either16(lookup16(in, cells), load16(line_template)));
}

// Where a line's cells go in its report, for a line at the first byte of
// a register; 0xff where the lookup clears the byte.
constexpr unsigned char cell_index[16] = {0xff, 0xff, 0,    0xff, 0xff, 0xff, 0xff, 0xff,
                                          2,    0xff, 0xff, 0xff, 0xff, 0xff, 4,    0xff};

// Writes the lines at first and second at o.
inline void put_two(const unsigned char *first, const unsigned char *second, char *o) {
  put_line(load16(first), load16(cell_index), o);
  put_line(load16(second), load16(cell_index), o + 16);
}

// Writes the line at p.
template <int stride> void put_last(const unsigned char *p, char *o) {
  put_line(load16(p), load16(cell_index), o);
}

// Two lines of the given stride in one register, as their reports are
// looked up from it: the bytes ' ', '-', '>' and '\n' that the reports
// need go in two words (byte pairs) that hold no cell of either line, and
// each report byte is looked up there or at its cell.
template <int stride> struct Pair {
  static_assert(stride + 4 < 16);
  struct Tables {
    int words; // a bit for each word that holds the four bytes
    unsigned char fill[16], first[16], second[16];
  };
  static constexpr Tables tables = [] {
    Tables t{};
    const ptrdiff_t cells[6] = {0, 2, 4, stride, stride + 2, stride + 4};
    ptrdiff_t taken = 0;
    for (ptrdiff_t w = 0; w < 8 && taken < 2; ++w) {
      if (std::find(cells, cells + 6, 2 * w) != cells + 6 ||
          std::find(cells, cells + 6, 2 * w + 1) != cells + 6)
        continue;
      t.words |= 1 << w;
      t.fill[2 * w] = " ->\n"[2 * taken];
      t.fill[2 * w + 1] = " ->\n"[2 * taken + 1];
      ++taken;
    }
    for (int j = 0; j < 16; ++j) {
      const unsigned char c = line_template[j];
      const int at = static_cast<int>(std::find(t.fill, t.fill + 16, c) - t.fill);
      t.first[j] = static_cast<unsigned char>(c != 0 ? at : j / 6 * 2);
      t.second[j] = static_cast<unsigned char>(c != 0 ? at : stride + j / 6 * 2);
    }
    return t;
  }();
  static_assert(std::popcount(static_cast<unsigned>(tables.words)) == 2);
};

// Writes the lines at p and p + stride, from one register where both fit.
template <int stride> void put_two_at(const unsigned char *p, char *o) {
  if constexpr (stride + 4 < 16) {
    using T = Pair<stride>;
    const V16 in = blend_words<T::tables.words>(load16(p), load16(T::tables.fill));
    store16(o, lookup16(in, load16(T::tables.first)));
    store16(o + 16, lookup16(in, load16(T::tables.second)));
  } else {
    put_two(p, p + stride, o);
  }
}

// Returns the low half of starts times pattern, after putting the high
// half of the last product, over, into `into` with a xor, and keeps the
// high half of this one in over.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
inline uint64_t lay_product(uint64_t starts, const uint64_t &pattern, uint64_t &over,
                            uint64_t &into) {
  __extension__ using Wide = unsigned __int128;
  const Wide product = static_cast<Wide>(starts) * pattern;
  into ^= over;
  over = static_cast<uint64_t>(product >> 64);
  return static_cast<uint64_t>(product);
}

// The bits below the lowest set bit of x.
inline uint64_t below_lowest(uint64_t x) { return ~x & (x - 1); }
inline uint64_t ones(uint64_t x) { return std::popcount(x); }
