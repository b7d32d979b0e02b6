// SPDX-License-Identifier: MIT
// The bytes of a sound file as read into memory.
//
// A fresh page costs a fault the first time it is touched, and the game reads
// megabytes of music while the player waits for the window. Large blocks are
// therefore asked for in huge pages, and the bytes are left unset until the
// file fills them, instead of being zeroed first.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

namespace zonbeli {

template <typename T>
struct BulkAllocator {
  using value_type = T;
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  BulkAllocator() = default;
  template <typename U>
  explicit BulkAllocator(const BulkAllocator<U>& /*other*/) {}

  T* allocate(std::size_t count) {
    const std::size_t bytes = count * sizeof(T);
    void* block = nullptr;
    if (bytes >= kHugePage) {
      if (posix_memalign(&block, kHugePage, bytes) != 0) block = nullptr;
      if (block != nullptr) madvise(block, bytes, MADV_HUGEPAGE);
    } else {
      block = std::malloc(bytes);
    }
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T*>(block);
  }
  void deallocate(T* block, std::size_t /*count*/) { std::free(block); }

  template <typename U>
  void construct(U* at) {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }

  template <typename U>
  bool operator==(const BulkAllocator<U>& /*other*/) const {
    return true;
  }
};

using FileBytes = std::vector<std::uint8_t, BulkAllocator<std::uint8_t>>;

}  // namespace zonbeli
