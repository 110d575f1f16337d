// SPDX-License-Identifier: MIT
// How the layers without AVX-512 find and write a window's lines for the
// algorithm: its masks from the layer's Blocks (above_blank, but, either
// and white), and its lines one at a time, two to a write (put_two, with
// in_order and next_at).

// Bit masks of 64 bytes.
struct Bytes {
  uint64_t cells; // above the blank, in ASCII
  // Neither a comma nor a control byte: below the blank and not white
  // space, or past ASCII, so that a line with such a byte is left to the
  // scalar reader.
  uint64_t other;
};

inline Bytes classify(const unsigned char *p) {
  const Block v = load(p), cell = above_blank(v);
  return {mask(cell), mask(either(but(cell, equal(v, splat(','))), white(v)))};
}

// Writes the next two lines of `left`, which begin at those bits of q, at
// o.  Where fewer are left, the 16 bytes after the window stand in, which
// the windows leave to be read: their report falls past the lines, in
// room that the next window overwrites or that out_room reserves.
inline void put_next_two(const unsigned char *q, uint64_t &left, char *o) {
  const uint64_t first = next_at(left), second = next_at(left);
  put_two(q + first, q + second, o);
}

// Writes the lines that begin at the bits of starts in the window at q, at
// o, and returns the end of them.  Eight are written whatever their
// number, as a window of lines apart by white space holds about that
// many, so that no branch depends on it but the rare one past eight.
// Lines are at least six bytes apart, so a window has eleven at most:
// the writes end 192 bytes on at most.
inline char *put_lines(const unsigned char *q, uint64_t starts, char *o) {
  uint64_t left = in_order(starts);
  for (ptrdiff_t k = 0; k < 4; ++k)
    put_next_two(q, left, o + 32 * k);
  for (char *w = o + 128; left != 0; w += 32)
    put_next_two(q, left, w);
  return o + 16 * ones(starts);
}
