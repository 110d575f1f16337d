// SPDX-License-Identifier: MIT
// The floor under Vormel's time on a file: it reads the file as Vormel
// does, through stdio in blocks of Vormel's input buffer, and stores as
// many bytes as the file's report has into a buffer of Vormel's output
// size, written to standard output whenever it fills, with no work a line.
// Each block read stores its share of the report, so that reading and
// writing alternate as they do in Vormel.  The report's size is given.
//
// usage: vormel-floor FILE REPORT-BYTES

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// Vormel's buffer sizes, in and out.
constexpr size_t buf_size = 131072;
unsigned char in_buf[buf_size];
char out_buf[buf_size];
size_t out_len;

bool flush() {
  bool written = std::fwrite(out_buf, 1, out_len, stdout) == out_len;
  out_len = 0;
  return written;
}

// Stores n bytes of report, writing the buffer out each time it fills.
bool store(unsigned long long n) {
  while (n != 0) {
    size_t k = std::min<unsigned long long>(n, buf_size - out_len);
    std::memset(out_buf + out_len, ' ', k);
    out_len += k;
    n -= k;
    if (out_len == buf_size && !flush())
      return false;
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fputs("usage: vormel-floor FILE REPORT-BYTES\n", stderr);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  unsigned long long report = std::strtoull(argv[2], nullptr, 10);
  FILE *file = std::fopen(argv[1], "r");
  struct stat st;
  if (file == nullptr || fstat(fileno(file), &st) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  const unsigned long long size = st.st_size;
  unsigned long long read = 0, stored = 0;
  for (size_t n; (n = std::fread(in_buf, 1, buf_size, file)) != 0;) {
    read += n;
    // The share of the report up to here, the rest at the end; a double
    // gives it to within a byte on any system, 32-bit ones included.
    unsigned long long due = read >= size
                                 ? report
                                 : static_cast<unsigned long long>(static_cast<double>(read) /
                                                                   static_cast<double>(size) *
                                                                   static_cast<double>(report));
    if (due > stored) {
      if (!store(due - stored))
        return 1;
      stored = due;
    }
  }
  return std::ferror(file) || !store(report - stored) || !flush() ? 1 : 0;
}
