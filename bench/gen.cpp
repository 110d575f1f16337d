// SPDX-License-Identifier: MIT
// Writes an automaton definition file to standard output: the four header
// items, then LINES transition lines of single characters, each ending in
// a line feed (-c: a carriage return and a line feed; -w: a run of one to
// six white-space bytes, blank lines, tabs and indentation among them;
// -e END: the string END, of at most ten bytes), with a blank line after
// every Nth line (-b N).
// With a damage share in percent, that share of the transition bytes is
// replaced, half by bytes that mean something to the reader and half by any
// byte, so that the same seed gives the same malformed file every time; at
// 100 the lines are random bytes.
//
// usage: vormel-gen [-c|-w|-e END] [-b N] LINES [DAMAGE_PERCENT [SEED]]

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

uint64_t state;

uint64_t next() {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

} // namespace

int main(int argc, char **argv) {
  const char *end = "\n"; // what follows each line: -c, -e
  bool varied = false;    // -w
  unsigned long long blank = 0;
  bool help = false, bad = false; // -h, an unknown option
  for (; argc > 1 && argv[1][0] == '-' && !help && !bad; --argc, ++argv) {
    char option = argv[1][1];
    if (option == 'c')
      end = "\r\n";
    else if (option == 'w')
      varied = true;
    else if ((option == 'e' || option == 'b') && argc > 2) {
      --argc;
      ++argv;
      if (option == 'e')
        end = argv[1];
      else
        blank = std::strtoull(argv[1], nullptr, 10);
    } else if (option == 'h')
      help = true;
    else
      bad = true;
  }
  size_t end_len = std::strlen(end);
  // Asked for, the usage is the answer and goes to standard output.
  if (help || bad || argc < 2 || argc > 4 || end_len > 10) {
    std::fputs("usage: vormel-gen [-c|-w|-e END] [-b N] LINES [DAMAGE_PERCENT [SEED]]\n",
               help ? stdout : stderr);
    return help ? 0 : 2;
  }
  unsigned long long lines = std::strtoull(argv[1], nullptr, 10);
  unsigned damage = argc > 2 ? std::atoi(argv[2]) : 0;
  state = argc > 3 ? std::strtoull(argv[3], nullptr, 10) * 2 + 1 : 88172645463325252u;

  static const char states[] = "ABCDEFGHIJ", symbols[] = "abcde";
  static const char special[] = {',', '\n', '\r', ' ', '\t', '\0', 'A', 'a'};
  static const char space[] = "\n\n\n\n  \t\r\v\f";
  static char buf[1 << 16];
  size_t len = 0;
  std::fputs("A,B,C,D,E,F,G,H,I,J\na,b,c,d,e\nA\nI,J\n", stdout);
  for (unsigned long long i = 0; i < lines; ++i) {
    uint64_t r = next();
    char line[16] = {states[r % 10], ',', symbols[r / 10 % 5], ',', states[r / 50 % 10]};
    std::copy_n(end, end_len, line + 5);
    size_t n = 5 + end_len;
    if (varied) {
      for (uint64_t k = r / 500 % 6, d = r / 3000; k-- > 0; d /= sizeof space - 1)
        line[n++] = space[d % (sizeof space - 1)];
    }
    if (blank != 0 && (i + 1) % blank == 0)
      line[n++] = '\n';
    for (size_t i = 0; i < n; ++i) {
      char c = line[i];
      if (damage != 0 && next() % 100 < damage) {
        uint64_t d = next();
        c = d & 1 ? special[d / 2 % sizeof special] : static_cast<char>(d >> 8);
      }
      buf[len++] = c;
    }
    if (len > sizeof buf - sizeof line) {
      std::fwrite(buf, 1, len, stdout);
      len = 0;
    }
  }
  std::fwrite(buf, 1, len, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
