// SPDX-License-Identifier: MIT
// How the layer for x86-64 with AVX-512 VBMI and VBMI2 (Intel's Ice Lake
// and AMD's Zen 4 on) finds and writes a window's lines: its 64 bytes are
// one register, compared into masks that need no gathering, and its lines
// are written four to a register, each report byte looked up where its
// line begins, with no loop over the lines.  Runs are written with AVX2's
// primitives, which come before.

inline __m512i load64(const void *p) { return _mm512_loadu_si512(p); }

// Bit masks of 64 bytes, as in line-by-line.h.
struct Bytes {
  uint64_t cells, other;
};

// What classify and put_lines look up.  The report's bytes other than the
// cells, ' ', '-', '>' and '\n', are put after the 16 bytes past the
// window in the second table of the lookup that writes lines.  Each cell
// of four lines in a register is where its line begins, looked up in the
// list of where the lines begin, plus how far the cell is from there; each
// other byte is where it is in that table.
struct Spread {
  alignas(64) unsigned char white[64]; // white_table in each 16-byte lane
  unsigned char iota[64];              // the bytes 0 to 63
  unsigned char fill[64];              // the second table
  unsigned char line[3][64], plus[64];
  uint64_t cells; // the cells of four reports
};
constexpr char fill_bytes[] = " ->\n";
constexpr int fill_at = 16; // in the second table, past the window's 16 bytes
constexpr Spread spread = [] {
  Spread s{};
  for (int j = 0; j < 64; ++j) {
    s.white[j] = white_table[j % 16];
    s.iota[j] = static_cast<unsigned char>(j);
    s.fill[j] = j >= fill_at && j < fill_at + 4 ? fill_bytes[j - fill_at] : 0;
    const int cell = j % 16 == 2 ? 0 : j % 16 == 8 ? 1 : j % 16 == 14 ? 2 : -1;
    const auto fill =
        static_cast<int>(std::find(fill_bytes, fill_bytes + 4, line_template[j % 16]) - fill_bytes);
    if (cell >= 0)
      s.cells |= uint64_t{1} << j;
    s.plus[j] = static_cast<unsigned char>(cell >= 0 ? 2 * cell : 64 + fill_at + fill);
    for (int k = 0; k < 3; ++k)
      s.line[k][j] = static_cast<unsigned char>(cell >= 0 ? 4 * k + j / 16 : 0);
  }
  return s;
}();

// As with AVX2, the white-space table is read under the low four bits of
// each byte, in each 16-byte lane, and a signed compare finds the cells.
inline Bytes classify(const unsigned char *p) {
  const __m512i v = load64(p);
  const __mmask64 cells = _mm512_cmpgt_epi8_mask(v, _mm512_set1_epi8(' '));
  const __mmask64 commas = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(','));
  const __mmask64 space = _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(load64(spread.white), v), v);
  return {cells, (cells & ~commas) | space};
}

// Writes the lines that begin at the bits of starts in the window at q, at
// o, and returns the end of them.  The cells are looked up in the window
// and the 16 bytes after it, which the windows leave to be read, as a
// line that begins near its end has its last cells there.  Twelve lines
// are written whatever their number, as lines are at least six bytes
// apart and a window has eleven at most: those past the number fall in
// room that the next window overwrites or that out_room reserves.
inline char *put_lines(const unsigned char *q, uint64_t starts, char *o) {
  const __m512i at = _mm512_maskz_compress_epi8(starts, load64(spread.iota));
  const __m512i low = load64(q), high = _mm512_mask_loadu_epi8(load64(spread.fill), 0xffff, q + 64);
  const uint64_t n = ones(starts);
  for (uint64_t k = 0; k < 3; ++k) {
    const __m512i from =
        _mm512_add_epi8(_mm512_maskz_permutexvar_epi8(spread.cells, load64(spread.line[k]), at),
                        load64(spread.plus));
    _mm512_storeu_si512(o + 64 * k, _mm512_permutex2var_epi8(low, from, high));
  }
  return o + 16 * n;
}
