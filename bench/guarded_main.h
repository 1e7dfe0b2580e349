#pragma once
// A benchmark's main in one place: an exception that leaves the run is printed under the
// program's name and ends it with status 1, where it would otherwise end in std::terminate
// with no word of what went wrong.
#include <cstdio>
#include <exception>

template <typename Run>
int GuardedMain(const char* program, Run run) noexcept {
  try {
    return run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", program, e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: stopped by an unknown exception\n", program);
  }
  return 1;
}
