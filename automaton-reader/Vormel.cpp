// Vormel: reports, in Spanish, how an automaton definition file is read.
//
// The file is read once through a scanner of our own and the report is
// assembled in a buffer of our own, so that a generated file of millions of
// lines streams at memory speed in constant memory.  The scanner keeps the
// stream semantics the report depends on: the end of the file is noted by
// the first read that meets it, and a character that stops a read stays
// unread for the next one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VORMEL_BUFSIZE
#define VORMEL_BUFSIZE 131072
#endif
#ifndef VORMEL_VECTOR
#define VORMEL_VECTOR 1
#endif
#if VORMEL_VECTOR && defined(__x86_64__)
#include <immintrin.h>
// glibc's header for the processor's features is written for C.
#define _Bool bool // NOLINT(bugprone-reserved-identifier)
#include <sys/platform/x86.h>
#undef _Bool
#define VORMEL_AVX2 1
#endif

namespace {

constexpr size_t in_size = VORMEL_BUFSIZE;
constexpr size_t out_size = VORMEL_BUFSIZE < 512 ? 512 : VORMEL_BUFSIZE;
constexpr size_t step_room = 256; // the most a step of copy_lines writes

char out_buf[out_size];
size_t out_len;

[[noreturn]] void write_failed() {
  std::perror("Vormel: no se pudo escribir el informe");
  std::exit(1);
}

void write_out(const char *s, size_t n) {
  if (n != 0 && std::fwrite(s, 1, n, stdout) != n)
    write_failed();
}

void flush_out() {
  write_out(out_buf, out_len);
  out_len = 0;
}

void put(const char *s, size_t n) {
  if (out_size - out_len < n) {
    flush_out();
    if (n >= out_size)
      return write_out(s, n);
  }
  std::memcpy(out_buf + out_len, s, n);
  out_len += n;
}

size_t str_len(const char *s) { return std::strlen(s); }

void put_str(const char *s) { put(s, str_len(s)); }

// Writes before, the string s and after, each up to its terminator.
void say(const char *before, const char *s, const char *after) {
  put_str(before);
  put_str(s);
  put_str(after);
}

// Flattens an element list, tracing each element as it goes.  Null when
// memory ran out.
char *tuple_to_array(const char *list) {
  size_t n = str_len(list), k = 0;
  char *flat = static_cast<char *>(std::malloc(n + 1));
  if (flat == nullptr)
    return nullptr;
  for (size_t i = 0; i < n; ++i) {
    char c = list[i];
    if (c == ',')
      continue;
    const char trace[] = {'\n', '\t', '\'', c, '\'', '.'};
    put(trace, sizeof trace);
    flat[k++] = c;
  }
  flat[k] = '\0';
  return flat;
}

struct Scanner {
  FILE *file;
  const unsigned char *p, *end; // the buffered bytes not yet read
  bool eof, error;              // set by the read that meets them
  unsigned char buf[in_size];
};

bool fill(Scanner &s) {
  if (s.eof || s.error)
    return false;
  size_t n = 0;
  if (!std::feof(s.file) && !std::ferror(s.file))
    n = std::fread(s.buf, 1, in_size, s.file);
  if (n == 0) {
    // A short read may have met an error after the bytes it returned; it
    // strikes only now that those bytes have been used.
    (std::ferror(s.file) ? s.error : s.eof) = true;
    return false;
  }
  s.p = s.buf;
  s.end = s.buf + n;
  return true;
}

int peek(Scanner &s) { return s.p != s.end || fill(s) ? *s.p : EOF; }

// The C locale's white space: blank, \t, \n, \v, \f and \r.
bool is_space(unsigned char c) { return c <= ' ' && (0x100003e00ull >> c & 1) != 0; }

void skip_space(Scanner &s) {
  do {
    while (s.p != s.end && is_space(*s.p))
      ++s.p;
  } while (s.p == s.end && fill(s));
}

struct Token {
  char *text;
  size_t size; // bytes allocated
};

// Reads a header item: skips white space, takes the run of other
// characters whole, and skips the white space after it.  The item's text
// ends at its first NUL: the bytes after it are read but not kept, so that
// memory stays bounded by what the report can show.  At the end of the file
// the token keeps what it held.  False when a read error cut the item short
// or memory ran out; an error in the white space after it is left for the
// next read to meet.
bool read_item(Scanner &s, Token &t) {
  skip_space(s);
  if (peek(s) == EOF)
    return !s.error;
  size_t len = 0;
  bool ended = false; // a NUL ended the text
  do {
    const unsigned char *q = s.p;
    while (q != s.end && !is_space(*q))
      ++q;
    size_t n = q - s.p;
    if (!ended) {
      if (const void *nul = std::memchr(s.p, '\0', n)) {
        n = static_cast<const unsigned char *>(nul) - s.p;
        ended = true;
      }
      if (len + n >= t.size) {
        size_t size = std::max(t.size * 2, len + n + 1);
        char *text = static_cast<char *>(std::realloc(t.text, size));
        if (text == nullptr)
          return false;
        t.text = text;
        t.size = size;
      }
      std::memcpy(t.text + len, s.p, n);
      len += n;
    }
    s.p = q;
  } while (s.p == s.end && fill(s));
  if (s.error)
    return false;
  t.text[len] = '\0';
  skip_space(s);
  return true;
}

// Reads a transition line: a character, a comma, a character, a comma, a
// character, then the white space after them.  The read stops at the first
// character that does not fit and leaves it unread; the cells it does not
// reach keep what they held.  False when a read error cut the line short;
// once its third character is read, the line stands.
bool read_transition(Scanner &s, unsigned char cell[3]) {
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (peek(s) != ',')
        return !s.error;
      ++s.p;
    }
    int c = peek(s);
    if (c == EOF)
      return !s.error;
    cell[i] = static_cast<unsigned char>(c);
    ++s.p;
  }
  skip_space(s);
  return true;
}

// Each cell is written as a string of one character under "%2s", so an
// empty one is two blanks.
char shown(unsigned char c) { return c != 0 ? static_cast<char>(c) : ' '; }

// Writes a transition line at o, which has room for it, and returns the
// end of the line.
char *put_transition(char *o, unsigned char src, unsigned char sym, unsigned char tgt) {
  static constexpr char line[] = "  ? ->  ? ->  ?\n";
  std::memcpy(o, line, sizeof line - 1);
  o[2] = shown(src);
  o[8] = shown(sym);
  o[14] = shown(tgt);
  return o + 16;
}

// Returns where the next n bytes of output go, flushing for room first.
char *out_room(size_t n) {
  if (out_size - out_len < n)
    flush_out();
  return out_buf + out_len;
}

// Takes one well-formed line at p, with the white space after it up to the
// next other character, which must lie in the buffer too.  It reads exactly
// as read_transition does.  The third cell must be above the blank, so that
// the last line's cells can be found again behind its white space.
bool take_line(const unsigned char *&p, const unsigned char *end, char *&o) {
  if (end - p <= 6 || p[1] != ',' || p[3] != ',' || p[4] <= ' ')
    return false;
  const unsigned char *q = p + 5;
  // Most lines end in a lone line feed: take that without the loop.
  if (*q == '\n' && q[1] > ' ')
    ++q;
  else
    while (is_space(*q))
      if (++q == end)
        return false;
  o = put_transition(o, p[0], p[2], p[4]);
  p = q;
  return true;
}

#ifdef VORMEL_AVX2
// The vector step, for processors with AVX2.  It reads the buffer 64 bytes
// at a time into bit masks and takes, as take_line does, each line whose
// five bytes are three bytes above the blank with a comma between each and
// whose white space ends within those 64 bytes.  Where lines end in a lone
// line feed, or in a carriage return and a line feed, it takes them four at
// a time while they last.  Anything else, a cell of a blank or below, a NUL
// for a comma, a long run of white space, the last 80 bytes of the buffer,
// is left to the scalar reader.
#define AVX2 __attribute__((target("avx2,bmi")))

AVX2 __m256i load(const void *p) { return _mm256_loadu_si256(static_cast<const __m256i *>(p)); }

// Bytes to match: a separator exactly where want holds one, any byte above
// the blank where it holds '!', and anything where it holds 0.  floor is
// want with 0xff for the separators, so that min(byte, floor) == want
// tells both apart.
struct Pattern {
  alignas(32) unsigned char floor[32], want[32];
};

// Four lines of the given stride, and the next line's first byte.
constexpr Pattern pattern(int stride, const char *ends) {
  Pattern t{};
  for (int i = 0; i < 4 * stride; i += stride) {
    for (int k = 0; k < stride; ++k) {
      bool cell = k == 0 || k == 2 || k == 4;
      t.want[i + k] = cell ? '!' : k < 5 ? ',' : ends[k - 5];
      t.floor[i + k] = cell ? '!' : 0xff;
    }
  }
  int next = 4 * stride;
  t.floor[next] = t.want[next] = '!';
  return t;
}

constexpr Pattern lf_lines = pattern(6, "\n"), crlf_lines = pattern(7, "\r\n");

// Writes the lines whose cells are bytes 0, 2 and 4, and bytes stride,
// stride + 2 and stride + 4, of the 16 bytes at p: 32 bytes at o.
template <ptrdiff_t stride> AVX2 void put_two(const unsigned char *p, char *o) {
  constexpr char x = -1; // a byte the shuffle clears
  const __m256i cells =
      _mm256_setr_epi8(x, x, 0, x, x, x, x, x, 2, x, x, x, x, x, 4, x, x, x, stride, x, x, x, x, x,
                       stride + 2, x, x, x, x, x, stride + 4, x);
  const __m256i line =
      _mm256_setr_epi8(' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, '\n',
                       ' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, ' ', '-', '>', ' ', ' ', 0, '\n');
  __m256i two = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
  two = _mm256_or_si256(_mm256_shuffle_epi8(two, cells), line);
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), two);
}

// Takes lines of the given stride, four at a time, while they last.
template <ptrdiff_t stride>
AVX2 void take_runs(const unsigned char *&p, const unsigned char *end, char *&o,
                    const char *o_last) {
  const Pattern &t = stride == 6 ? lf_lines : crlf_lines;
  const __m256i floor = load(t.floor), want = load(t.want);
  while (end - p >= 32 && o <= o_last &&
         _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(load(p), floor), want)) == -1) {
    put_two<stride>(p, o);
    put_two<stride>(p + 2 * stride, o + 32);
    p += 4 * stride;
    o += 64;
  }
}

AVX2 uint64_t bits(__m256i low, __m256i high) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

// Bit masks of the 64 bytes at p.
struct Window {
  uint64_t starts; // where a line's five bytes are as take_line needs them
  uint64_t text;   // where a byte is not white space
};

AVX2 Window window(const unsigned char *p) {
  // A byte is white space when the shuffle finds it under its low bits.
  const __m256i space =
      _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0, ' ', 0, 0,
                       0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0);
  const __m256i comma = _mm256_set1_epi8(','), floor = _mm256_set1_epi8('!');
  __m256i a = load(p), b = load(p + 32);
  uint64_t white = bits(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(space, a), a),
                        _mm256_cmpeq_epi8(_mm256_shuffle_epi8(space, b), b));
  uint64_t commas = bits(_mm256_cmpeq_epi8(a, comma), _mm256_cmpeq_epi8(b, comma));
  uint64_t cells = bits(_mm256_cmpeq_epi8(_mm256_min_epu8(a, floor), floor),
                        _mm256_cmpeq_epi8(_mm256_min_epu8(b, floor), floor));
  return {cells & commas >> 1 & cells >> 2 & commas >> 3 & cells >> 4, ~white};
}

AVX2 void take_lines_avx2(const unsigned char *&from, const unsigned char *end, char *&to) {
  const unsigned char *p = from;
  // A window takes at most 13 lines and writes 16 bytes for each, the last
  // of them as 32; runs write 64 bytes at a time.
  char *o = to, *const o_last = out_buf + out_size - step_room;
  // A window reads 64 bytes, and a line the 16 from its start.
  while (end - p >= 80 && o <= o_last) {
    if (p[5] == '\n' && p[6] > ' ')
      take_runs<6>(p, end, o, o_last);
    else if (p[5] == '\r' && p[6] == '\n')
      take_runs<7>(p, end, o, o_last);
    if (end - p < 80 || o > o_last)
      break;
    Window w = window(p);
    uint64_t after = w.text >> 5; // bit i: byte i + 5 is not white space
    unsigned i = 0;
    while ((w.starts >> i & 1) != 0) {
      uint64_t rest = after >> i;
      if (__builtin_expect(rest == 0, 0))
        break;
      put_two<0>(p + i, o);
      o += 16;
      i += 5 + __builtin_ctzll(rest);
    }
    if (i == 0)
      break;
    p += i;
  }
  from = p;
  to = o;
}
#undef AVX2
#endif

// Reports the well-formed lines that lie whole in the buffer, each with the
// white space after it, straight from the input buffer to the output
// buffer, and leaves the first other line to read_transition.
void copy_lines(Scanner &s, unsigned char cell[3], [[maybe_unused]] bool vector) {
  const unsigned char *p = s.p, *const start = p, *const end = s.end;
  char *o = out_buf + out_len;
  // The scalar step goes first, so that a malformed file costs no more
  // than a failed look at one line.
  for (;;) {
    out_len = o - out_buf;
    o = out_room(step_room);
    if (!take_line(p, end, o))
      break;
#ifdef VORMEL_AVX2
    if (vector)
      take_lines_avx2(p, end, o);
#endif
  }
  if (p != start) {
    // The last line taken ends in its third cell, a byte above the blank,
    // and white space (see take_line).
    const unsigned char *last = p - 1;
    while (is_space(*last))
      --last;
    cell[0] = last[-4];
    cell[1] = last[-2];
    cell[2] = last[0];
  }
  s.p = p;
  out_len = o - out_buf;
}

// Writes the report of the file behind s.  False when a read met an error
// or memory ran out, at the point where it struck.
bool report(Scanner &s, Token &t) {
  char *list;
  if (!read_item(s, t))
    return false;
  say("\nEstados Leidos: '", t.text, "'\n");
  if ((list = tuple_to_array(t.text)) == nullptr)
    return false;
  say("\nEstados en array: '", list, "'\n");
  std::free(list);

  if (!read_item(s, t))
    return false;
  say("\nAlfabeto: '", t.text, "'\n");
  if ((list = tuple_to_array(t.text)) == nullptr)
    return false;
  std::free(list);

  if (!read_item(s, t))
    return false;
  say("\nEstado inical: '", t.text, "'\n");

  if (!read_item(s, t) || (list = tuple_to_array(t.text)) == nullptr)
    return false;
  say("\nEstados Finales: '", list, "'\n\nTransiciones:\n");
  std::free(list);

  unsigned char cell[3] = {};
#ifdef VORMEL_AVX2
  // What the processor has was found by the loader; asking costs nothing.
  const bool vector = CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(BMI1);
#else
  const bool vector = false;
#endif
  while (!s.eof) {
    copy_lines(s, cell, vector);
    if (!read_transition(s, cell))
      return false;
    out_len = put_transition(out_room(16), cell[0], cell[1], cell[2]) - out_buf;
  }
  return true;
}

// Reports the file at path.  False when it could not be opened or read
// whole.
bool file_to_Vormel(const char *path) {
  static Scanner in;
  in.file = std::fopen(path, "r");
  in.p = in.end = in.buf;
  in.eof = in.error = false;
  Token t{static_cast<char *>(std::calloc(1, 16)), 16};
  bool read = in.file != nullptr && t.text != nullptr && report(in, t);
  if (!read)
    say("\nError en rl fichero '", path, "'. Verifiquelo,\n");
  if (in.file != nullptr)
    std::fclose(in.file);
  std::free(t.text);
  return read;
}

// True when standard output is the file at path and holds something: the
// report would then be written into the file while it is being read.  An
// empty one is fine, since the reader meets its end before anything is
// written.
bool is_output(const char *path) {
  struct stat in, out;
  return fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode) && out.st_size > 0 &&
         stat(path, &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

} // namespace

int main(int argc, char **argv) {
  // The report is written in large blocks of our own.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  int status = 1;
  if (argc != 2)
    put_str("Modo de uso: ./Vormel <automata.txt>\n");
  else if (is_output(argv[1])) {
    std::fprintf(stderr, "Vormel: no se pudo escribir el informe: '%s' es el fichero de entrada\n",
                 argv[1]);
    return 1;
  } else {
    say("Archivo a procesar: '", argv[1], "'\n");
    status = file_to_Vormel(argv[1]) ? 0 : 1;
  }
  flush_out();
  return status;
}
