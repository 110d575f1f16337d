// SPDX-License-Identifier: MIT
// The vector step, compiled once for each layer of primitives the
// processor family has, and the choice among them.  Each x86 layer is
// compiled for its own instructions, in a namespace of its own, so that no
// function of one, inline or not, can stand in for another's: the linker
// would keep one copy of a function shared between them.  Every header is
// included before, so that nothing outside the step is compiled for more
// than the processor is known to have.

#include "vector-step.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#if __has_include(<sys/platform/x86.h>)
// glibc's header for the processor's features is written for C.
#define _Bool bool // NOLINT(bugprone-reserved-identifier)
#include <sys/platform/x86.h>
#undef _Bool
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,popcnt")
#endif
namespace vector_step::avx2 {
namespace {
#include "avx2.h"
// The algorithm, over the primitives above, with a window's lines
// written one at a time.
#include "line-by-line.h"
#include "lines.h"
} // namespace
} // namespace vector_step::avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(                                                                      \
    __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,avx2,bmi,bmi2,popcnt"))),       \
    apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,avx2,bmi,bmi2,popcnt")
#endif
namespace vector_step::avx512 {
namespace {
#include "avx2.h"
#include "avx512.h"
// The algorithm, over the primitives above, with a window's lines
// written four to a register.
#include "lines.h"
} // namespace
} // namespace vector_step::avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse4.2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse4.2,popcnt")
#endif
namespace vector_step::sse4 {
namespace {
#include "sse4.h"
// The algorithm, over the primitives above, with a window's lines
// written one at a time.
#include "line-by-line.h"
#include "lines.h"
} // namespace
} // namespace vector_step::sse4
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#elif defined(__aarch64__)
#include <arm_acle.h>
#include <arm_neon.h>

namespace vector_step::neon {
namespace {
#include "neon.h"
// The algorithm, over the primitives above, with a window's lines
// written one at a time.
#include "line-by-line.h"
#include "lines.h"
} // namespace
} // namespace vector_step::neon
#endif

namespace vector_step {

// What the processor has: where glibc's header is there, as the loader
// found it, less what glibc's tunables hide, which costs nothing to ask;
// elsewhere the compiler's own check.
#if defined(CPU_FEATURE_ACTIVE)
#define HAS(feature, name) CPU_FEATURE_ACTIVE(feature)
#elif defined(__x86_64__)
#define HAS(feature, name) __builtin_cpu_supports(name)
#endif

Layer best() {
#if defined(__aarch64__)
  return Layer::neon;
#elif defined(__x86_64__)
  const bool avx2 =
      HAS(AVX2, "avx2") && HAS(BMI1, "bmi") && HAS(BMI2, "bmi2") && HAS(POPCNT, "popcnt");
  if (avx2 && HAS(AVX512F, "avx512f") && HAS(AVX512BW, "avx512bw") &&
      HAS(AVX512_VBMI, "avx512vbmi") && HAS(AVX512_VBMI2, "avx512vbmi2"))
    return Layer::avx512;
  if (avx2)
    return Layer::avx2;
  if (HAS(SSSE3, "ssse3") && HAS(SSE4_1, "sse4.1") && HAS(SSE4_2, "sse4.2") &&
      HAS(POPCNT, "popcnt"))
    return Layer::sse4;
  return Layer::none;
#else
  return Layer::none;
#endif
}

// Where the processor family has no layer, only the default is left.
Cursor take_lines(Layer layer, [[maybe_unused]] const unsigned char *line, Cursor c,
                  [[maybe_unused]] const unsigned char *end,
                  [[maybe_unused]] const char *out_last) {
  switch (layer) {
#if defined(__x86_64__)
  case Layer::avx512:
    return avx512::take_lines(line, c, end, out_last);
  case Layer::avx2:
    return avx2::take_lines(line, c, end, out_last);
  case Layer::sse4:
    return sse4::take_lines(line, c, end, out_last);
#elif defined(__aarch64__)
  case Layer::neon:
    return neon::take_lines(line, c, end, out_last);
#endif
  default:
    return c;
  }
}

} // namespace vector_step
