#pragma once
// Shared by the fuzz targets: the entry point every target defines, a check that stops the
// process when a property breaks, and the split of an input into an operation tag and text.
//
// A broken property aborts, so libFuzzer keeps the input as a crash and the replay driver's
// test fails; an exception escaping a target counts the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

#define WQ_FUZZ_CHECK(condition)                                                            \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

namespace wqfuzz {

// The first byte names the operation and the rest is its text, so a seed reads as a letter
// followed by a document. A byte that is no tag still picks an operation, by its value, so
// that every mutation of the first byte reaches some operation. `tags` is a string literal
// with one letter per operation, hence one element more than `operations`.
using Operation = void (*)(const std::string& text);

template <std::size_t N>
void RunTagged(const std::uint8_t* data, std::size_t size, const char (&tags)[N],
               const Operation (&operations)[N - 1]) {
  if (size == 0) return;
  std::size_t chosen = data[0] % (N - 1);
  for (std::size_t i = 0; i + 1 < N; ++i) {
    if (static_cast<char>(data[0]) == tags[i]) chosen = i;
  }
  operations[chosen](std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
}

}  // namespace wqfuzz
