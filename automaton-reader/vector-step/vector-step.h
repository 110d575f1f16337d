// SPDX-License-Identifier: MIT
// The vector step: it copies well-formed transition lines straight from
// the input buffer to the output buffer, many at a time, and leaves every
// other line to the scalar reader.  It is written once, in lines.h, over a
// thin layer of primitives for each processor: avx2.h, sse4.h and neon.h,
// with avx512.h for AVX-512's way of writing many lines at once.
// This header is the contract between the step and the reader.
#pragma once

#include <cstddef>

namespace vector_step {

// The C locale's white space: blank, \t, \n, \v, \f and \r.
inline bool is_space(unsigned char c) { return c <= ' ' && (0x100003e00ull >> c & 1) != 0; }

// The same as a table of 16 bytes: a byte is white space when it equals
// the entry under its low four bits.
constexpr unsigned char white_table[16] = {' ', 0, 0,    0,    0,    0,    0,
                                           0,   0, '\t', '\n', '\v', '\f', '\r'};

// A transition line as reported, one 16-byte register, its cells (bytes 2,
// 8 and 14) left 0 for the characters to go in.
constexpr unsigned char line_template[16] = {' ', ' ', 0,   ' ', '-', '>', ' ', ' ',
                                             0,   ' ', '-', '>', ' ', ' ', 0,   '\n'};

// The most one call of take_lines writes from the last place it may begin
// a write at, out_last: every write is of whole lines, at most 16 of them.
constexpr size_t out_room = 256;
// take_lines reads no byte at or past the end of the input, and takes no
// line whose white space ends less than read_past bytes before it.
constexpr size_t read_past = 16;

// The layers, worst first.
enum class Layer { none, sse4, avx2, avx512, neon };

// The best layer this processor runs, found once when asked.
Layer best();

// Where the next line is read from, and where its report goes.
struct Cursor {
  const unsigned char *in;
  char *out;
};

// Takes the well-formed lines from c.in on, each with the white space
// after it, as the scalar reader takes them one at a time, and returns how
// far it went in the input and in the output.  `line` is the line before
// c.in, which was taken and ends there.  It reads below `end` only and
// begins no write past out_last.
Cursor take_lines(Layer layer, const unsigned char *line, Cursor c, const unsigned char *end,
                  const char *out_last);

} // namespace vector_step
