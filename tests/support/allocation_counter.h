#pragma once
// Counts the heap allocations the current thread makes while a scope is open, so a
// test can show that a hot path allocates nothing.
//
// This header replaces the global operator new of the test binary, so include it from
// exactly one source file of a binary (a second one fails to link). It is not part of
// the support library because an archive member defining operator new would be pulled
// into every test binary.
#include <cstddef>
#include <cstdlib>
#include <new>

namespace allocation_counter {
inline thread_local bool counting = false;
inline thread_local std::size_t allocations = 0;
}  // namespace allocation_counter

class AllocationScope {
 public:
  AllocationScope() {
    allocation_counter::allocations = 0;
    allocation_counter::counting = true;
  }
  ~AllocationScope() { allocation_counter::counting = false; }
  AllocationScope(const AllocationScope&) = delete;
  AllocationScope& operator=(const AllocationScope&) = delete;

  std::size_t Allocations() const { return allocation_counter::allocations; }
};

// The array and nothrow forms of the standard library go through this one. Kept out of
// line so the optimiser does not pair a visible malloc and free with new and delete.
[[gnu::noinline]] void* operator new(std::size_t size) {
  if (allocation_counter::counting) ++allocation_counter::allocations;
  if (size == 0) size = 1;
  if (void* p = std::malloc(size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
