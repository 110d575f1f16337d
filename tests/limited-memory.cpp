// SPDX-License-Identifier: MIT
// An allocator that runs out, for the out-of-memory test.  Linked into a
// build of the reader with --wrap for malloc, calloc, realloc and free, it
// refuses any request that would take the memory the program holds past
// 8 MiB.  A limit of the address space would do the
// same natively, but an emulator or a sanitizer reserves far more address
// space than the program ever uses, and this limit holds under both.

#include <cstddef>
#include <cstdint>
#include <malloc.h>

// NOLINTBEGIN(bugprone-reserved-identifier,readability-identifier-naming)
extern "C" {
void *__real_malloc(size_t n);
void *__real_calloc(size_t k, size_t n);
void *__real_realloc(void *p, size_t n);
void __real_free(void *p);
}

namespace {

// Memory taken by calls that the wrapping does not see (within the C
// library of a static build) is never counted, and freeing it only gives
// back room, so the count is signed.
long long held;

bool fits(long long more) { return held + more <= 8 << 20; }

long long size(void *p) { return p != nullptr ? static_cast<long long>(malloc_usable_size(p)) : 0; }

} // namespace

extern "C" {

void *__wrap_malloc(size_t n) {
  void *p = fits(static_cast<long long>(n)) ? __real_malloc(n) : nullptr;
  held += size(p);
  return p;
}

void *__wrap_calloc(size_t k, size_t n) {
  if (n != 0 && k > SIZE_MAX / n)
    return nullptr;
  const size_t bytes = k * n;
  void *p = fits(static_cast<long long>(bytes)) ? __real_calloc(k, n) : nullptr;
  held += size(p);
  return p;
}

void *__wrap_realloc(void *p, size_t n) {
  const long long old = size(p);
  if (!fits(static_cast<long long>(n) - old))
    return nullptr;
  void *q = __real_realloc(p, n);
  if (q != nullptr)
    held += size(q) - old;
  return q;
}

void __wrap_free(void *p) {
  held -= size(p);
  __real_free(p);
}
}
// NOLINTEND(bugprone-reserved-identifier,readability-identifier-naming)
