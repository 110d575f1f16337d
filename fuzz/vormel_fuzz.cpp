// SPDX-License-Identifier: MIT
// libFuzzer harness for Vormel.  The program is built in four times, with
// its normal buffer, with the vector step off, and with buffers of 1 and
// 97 bytes, and each input is reported by each, as a file, with standard
// output going to a memory file: at the normal and the 97-byte buffer
// once with each layer of the vector step the processor runs.  Besides
// crashes and sanitizer reports, it fails when a report differs in a byte
// from the literal reading in literal.cpp, or when an exit status is not 0.

// Every header the program includes comes first, so that its own includes,
// inside the namespaces below, add nothing there.
#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../automaton-reader/vector-step/vector-step.h"

std::string literal_report(const char *path);

#define main vormel_main
namespace normal {
#include "../automaton-reader/Vormel.cpp" // NOLINT(bugprone-suspicious-include)
}
#define VORMEL_BUFSIZE 1
namespace one {
#include "../automaton-reader/Vormel.cpp" // NOLINT(bugprone-suspicious-include)
}
#undef VORMEL_BUFSIZE
#define VORMEL_BUFSIZE 97
namespace ninety_seven {
#include "../automaton-reader/Vormel.cpp" // NOLINT(bugprone-suspicious-include)
}
#undef VORMEL_BUFSIZE
#undef VORMEL_VECTOR
#define VORMEL_VECTOR 0
namespace scalar {
#include "../automaton-reader/Vormel.cpp" // NOLINT(bugprone-suspicious-include)
}
#undef main

namespace {

using vector_step::Layer;

int input;
char path[64];
// The layers this processor runs, best first.
Layer layers[3];
size_t layer_count;

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  input = memfd_create("input", 0);
  int output = memfd_create("report", 0);
  if (input < 0 || output < 0 || dup2(output, STDOUT_FILENO) < 0)
    std::abort();
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", input);
  layers[layer_count++] = vector_step::best();
  if (layers[0] == Layer::avx512)
    layers[layer_count++] = Layer::avx2;
  if (layers[0] == Layer::avx512 || layers[0] == Layer::avx2)
    layers[layer_count++] = Layer::sse4;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (ftruncate(input, 0) != 0 || pwrite(input, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  const std::string want = literal_report(path);
  int status;
  for (size_t i = 0; i < layer_count; ++i) {
    normal::layer = ninety_seven::layer = layers[i];
    for (auto entry : {normal::vormel_main, ninety_seven::vormel_main})
      if (report(entry, status) != want || status != 0)
        std::abort();
  }
  for (auto entry : {scalar::vormel_main, one::vormel_main})
    if (report(entry, status) != want || status != 0)
      std::abort();
  return 0;
}
