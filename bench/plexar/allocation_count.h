// SPDX-License-Identifier: GPL-3.0-or-later
// Counts every allocation the benchmark program makes, for "no allocation per block" figures.
// The replacement operators are definitions: include this in one file of a program only.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> allocations{0};

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
