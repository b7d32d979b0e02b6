// SPDX-License-Identifier: MIT
// The bytes of a sound file as read into memory. The window that reads the
// file also says where the memory comes from: on the desktop, memory that the
// sound library may keep the file in as it stands, rather than copy it; plain
// memory in the tests. The game only looks at the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace zonbeli {

class FileBytes {
 public:
  // Where a block of bytes comes from and goes back to. `allocate` answers
  // nullptr when it has none; `release` is told the size it was asked for.
  struct Memory {
    void* (*allocate)(std::size_t bytes);
    void (*release)(void* block, std::size_t bytes);
  };

  // The C library's memory.
  static constexpr Memory kPlainMemory{
      [](std::size_t bytes) { return std::malloc(bytes); },
      [](void* block, std::size_t /*bytes*/) { std::free(block); }};

  FileBytes() = default;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  FileBytes(FileBytes&& other) noexcept { swap(other); }
  FileBytes& operator=(FileBytes&& other) noexcept {
    FileBytes gone(std::move(*this));
    swap(other);
    return *this;
  }
  ~FileBytes() { clear(); }

  // Replaces what is held with `count` bytes from `memory`, unset until
  // written; std::bad_alloc when there is no memory for them.
  void allocate(std::size_t count, const Memory& memory) {
    clear();
    if (count == 0) return;
    void* block = memory.allocate(count);
    if (block == nullptr) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(block);
    size_ = count;
    memory_ = memory;
  }

  void clear() {
    if (data_ != nullptr) memory_.release(data_, size_);
    data_ = nullptr;
    size_ = 0;
  }

  void swap(FileBytes& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(memory_, other.memory_);
  }

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const std::uint8_t* begin() const { return data_; }
  const std::uint8_t* end() const { return data_ + size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  Memory memory_{};
};

}  // namespace zonbeli
