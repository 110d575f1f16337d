// SPDX-License-Identifier: MIT
// Vormel: reports, in Spanish, how an automaton definition file is read.
//
// The file is read once through a scanner of our own and the report is
// assembled in a buffer of our own, so that a generated file of millions of
// lines streams at memory speed in constant memory.  The scanner keeps the
// stream semantics the report depends on: the end of the file is noted by
// the first read that meets it, and a character that stops a read stays
// unread for the next one.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "vector-step/vector-step.h"

#ifndef VORMEL_BUFSIZE
#define VORMEL_BUFSIZE 131072
#endif
#ifndef VORMEL_VECTOR
#define VORMEL_VECTOR 1
#endif

namespace {

constexpr size_t in_size = VORMEL_BUFSIZE;
constexpr size_t out_size = VORMEL_BUFSIZE < 512 ? 512 : VORMEL_BUFSIZE;
using vector_step::Cursor;
using vector_step::is_space;

constexpr size_t step_room = vector_step::out_room; // the most a step of copy_lines writes

char out_buf[out_size];
size_t out_len;
// The last place a step of copy_lines may start writing at.
const char *const out_last = out_buf + out_size - step_room;
bool quiet; // standard error is the file being read: say nothing there
#if VORMEL_VECTOR
// The vector step's layer for this processor, chosen once.
vector_step::Layer layer = vector_step::best();
#endif

// What stops a write, in Spanish like the report: the C library's text, in
// the locale the program never sets, is left for errors a write rarely meets.
const char *write_error(int error) {
  switch (error) {
  case ENOSPC:
    return "No queda espacio en el dispositivo";
  case EFBIG:
    return "El fichero supera el tamaño permitido";
  case EBADF:
    return "La salida estándar no está abierta para escribir";
  case EIO:
    return "Error de entrada/salida";
  case EDQUOT:
    return "Se ha superado la cuota de disco";
  case EROFS:
    return "El sistema de ficheros es de solo lectura";
  default:
    return std::strerror(error);
  }
}

[[noreturn]] void write_failed() {
  if (!quiet)
    std::fprintf(stderr, "Vormel: no se pudo escribir el informe: %s\n", write_error(errno));
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
  char *flat = static_cast<char *>(std::malloc(n - std::count(list, list + n, ',') + 1));
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
        // Double the token; where that much memory cannot be had, take
        // just what the item needs so far.
        size_t size = std::max(t.size * 2, len + n + 1);
        char *text = static_cast<char *>(std::realloc(t.text, size));
        if (text == nullptr)
          text = static_cast<char *>(std::realloc(t.text, size = len + n + 1));
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
  std::memcpy(o, vector_step::line_template, 16);
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

// Takes one well-formed line, with the white space after it up to the next
// other character, which must lie in the buffer too.  It reads exactly as
// read_transition does.  The third cell must be above the blank, so that
// the last line's cells can be found again behind its white space.
bool take_line(Cursor &c, const unsigned char *end) {
  const unsigned char *p = c.in;
  if (end - p <= 6 || p[1] != ',' || p[3] != ',' || p[4] <= ' ')
    return false;
  const unsigned char *q = p + 5;
  // Most lines end in a lone line feed: take that without the loop.
  if (__builtin_expect(*q == '\n' && q[1] > ' ', 1))
    ++q;
  else
    while (is_space(*q))
      if (++q == end)
        return false;
  c.out = put_transition(c.out, p[0], p[2], p[4]);
  c.in = q;
  return true;
}

// Reports the well-formed lines that lie whole in the buffer, each with the
// white space after it, straight from the input buffer to the output
// buffer, and leaves the first other line to read_transition.
void copy_lines(Scanner &s, unsigned char cell[3]) {
  const unsigned char *const start = s.p, *const end = s.end;
  Cursor c{start, out_buf + out_len};
  for (;;) {
    out_len = c.out - out_buf;
    c.out = out_room(step_room);
    // The scalar step goes first, so that a malformed file costs no more
    // than a failed look at one line.  Without the vector step, it goes on
    // while there is room; the line that stops it is looked at again here.
    [[maybe_unused]] const unsigned char *line = c.in;
    if (!take_line(c, end))
      break;
#if VORMEL_VECTOR
    if (layer != vector_step::Layer::none) {
      c = vector_step::take_lines(layer, line, c, end, out_last);
      continue;
    }
#endif
    while (c.out <= out_last && take_line(c, end)) {
    }
  }
  if (c.in != start) {
    // The last line taken ends in its third cell, a byte above the blank,
    // and white space (see take_line).
    const unsigned char *last = c.in - 1;
    while (is_space(*last))
      --last;
    cell[0] = last[-4];
    cell[1] = last[-2];
    cell[2] = last[0];
  }
  s.p = c.in;
  out_len = c.out - out_buf;
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
  while (!s.eof) {
    copy_lines(s, cell);
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

// Whether descriptor fd writes to the regular file in, or to any regular
// file where in is null: 1 if it does, 0 if it does not or is closed, -1
// when that cannot be learned.
int writes_to(int fd, const struct stat *in) {
  struct stat out;
  if (fstat(fd, &out) != 0)
    return errno == EBADF ? 0 : -1;
  return S_ISREG(out.st_mode) &&
         (in == nullptr || (out.st_dev == in->st_dev && out.st_ino == in->st_ino));
}

// True when the report would be written into the file at path while it is
// read.  An empty one is fine: the reader meets its end before anything is
// written.  Where standard error is that file, nothing is said there either.
// A path that cannot be looked up cannot be opened either, and the report
// says so; but where the file or the output cannot be told apart for any
// other reason, the report may feed on itself, and is not written at all.
bool is_input(const char *path) {
  struct stat in;
  if (stat(path, &in) != 0) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR || error == EACCES || error == ELOOP ||
        error == ENAMETOOLONG)
      return false;
    quiet = writes_to(STDERR_FILENO, nullptr) != 0;
    errno = error;
    write_failed();
  }
  quiet = writes_to(STDERR_FILENO, &in) != 0;
  int out = in.st_size > 0 ? writes_to(STDOUT_FILENO, &in) : 0;
  if (out < 0)
    write_failed();
  return out > 0;
}

} // namespace

int main(int argc, char **argv) {
  // The report is written in large blocks of our own.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // A file size limit then fails the write, which is reported as a full
  // disk is, instead of killing the program without a word.  SIGPIPE is
  // left alone: a reader that has gone away ends us as it ends any filter.
  std::signal(SIGXFSZ, SIG_IGN);
  int status = 1;
  if (argc != 2)
    put_str("Modo de uso: ./Vormel <automata.txt>\n");
  else if (is_input(argv[1])) {
    if (!quiet)
      std::fprintf(stderr,
                   "Vormel: no se pudo escribir el informe: '%s' es el fichero de entrada\n",
                   argv[1]);
    return 1;
  } else {
    say("Archivo a procesar: '", argv[1], "'\n");
    status = file_to_Vormel(argv[1]) ? 0 : 1;
  }
  flush_out();
  return status;
}
