#pragma once
// Bounded writes into the record's fixed-capacity text arrays.
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies at most N-1 bytes of src into dst and terminates it; a NUL inside src ends the copy.
template <std::size_t N>
void CopyText(char (&dst)[N], std::string_view src) {
  std::size_t n = src.size();
  if (n > N - 1) n = N - 1;
  const void* nul = std::memchr(src.data(), '\0', n);
  if (nul) n = static_cast<std::size_t>(static_cast<const char*>(nul) - src.data());
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

// Length of a fixed array's text, never reading past the array.
template <std::size_t N>
std::string_view TextOf(const char (&src)[N]) {
  const void* nul = std::memchr(src, '\0', N);
  return std::string_view(src, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - src) : N);
}
