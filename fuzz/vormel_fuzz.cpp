// libFuzzer harness for Vormel.  The program is built in three times, with
// its normal buffer and with buffers of 1 and 13 bytes, and each input is
// reported by all three, as a file, with standard output going to a memory
// file.  Besides crashes and sanitizer reports, it fails when the reports
// differ in a byte or in exit status, when a report does not begin with
// the banner, or when it does not hold exactly one "Transiciones:" line.

// Every header the program includes comes first, so that its own includes,
// inside the namespaces below, add nothing there.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#define main vormel_main
namespace normal {
#include "../automaton-reader/Vormel.cpp" // NOLINT(bugprone-suspicious-include)
}
#define VORMEL_BUFSIZE 1
namespace one {
#include "../automaton-reader/Vormel.cpp" // NOLINT(bugprone-suspicious-include)
}
#undef VORMEL_BUFSIZE
#define VORMEL_BUFSIZE 13
namespace thirteen {
#include "../automaton-reader/Vormel.cpp" // NOLINT(bugprone-suspicious-include)
}
#undef main

namespace {

int input;
char path[64];

// Runs one build on the input file and returns its report.
std::string report(int (*entry)(int, char **), int &status) {
  if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0)
    std::abort();
  char name[] = "Vormel";
  char *argv[] = {name, path, nullptr};
  status = entry(2, argv);
  std::string out(static_cast<size_t>(lseek(STDOUT_FILENO, 0, SEEK_END)), '\0');
  if (pread(STDOUT_FILENO, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size()))
    std::abort();
  return out;
}

size_t count(const std::string &s, const std::string &what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
    ++n;
  return n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  input = memfd_create("input", 0);
  int output = memfd_create("report", 0);
  if (input < 0 || output < 0 || dup2(output, STDOUT_FILENO) < 0)
    std::abort();
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", input);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (ftruncate(input, 0) != 0 || pwrite(input, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  int status, status_one, status_thirteen;
  std::string a = report(normal::vormel_main, status);
  std::string b = report(one::vormel_main, status_one);
  std::string c = report(thirteen::vormel_main, status_thirteen);
  if (a != b || a != c || status != status_one || status != status_thirteen)
    std::abort();
  if (a.rfind(std::string("Archivo a procesar: '") + path + "'\n", 0) != 0)
    std::abort();
  if (status != 0 || count(a, "\nTransiciones:\n") != 1)
    std::abort();
  return 0;
}
