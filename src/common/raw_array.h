// A growable array of trivially copyable values kept in one malloc block. It
// grows and shrinks with realloc, which moves large blocks by remapping their
// pages instead of copying them: a bulk buffer that grows to tens of megabytes
// never holds its old and new copies at once, and shrinking it after packing
// gives the tail back in place. New elements are zero-filled.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

namespace core_calc {

template <class T>
class RawArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  RawArray() = default;
  explicit RawArray(std::size_t size) { resize(size); }
  RawArray(const RawArray& other) { assign(other.data_, other.size_); }
  RawArray(RawArray&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  RawArray& operator=(RawArray other) noexcept {
    swap(other);
    return *this;
  }
  ~RawArray() { std::free(data_); }

  void swap(RawArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& back() { return data_[size_ - 1]; }
  operator std::span<const T>() const { return {data_, size_}; }

  void push_back(const T& value) {
    if (size_ == capacity_) reallocate(capacity_ < 16 ? 16 : capacity_ + capacity_ / 2);
    data_[size_++] = value;
  }

  void resize(std::size_t size) {
    if (size > capacity_) reallocate(size);
    if (size > size_) std::memset(static_cast<void*>(data_ + size_), 0, (size - size_) * sizeof(T));
    size_ = size;
  }

  void reserve(std::size_t capacity) {
    if (capacity > capacity_) reallocate(capacity);
  }

  void shrink_to_fit() {
    if (capacity_ > size_) reallocate(size_);
  }

  // Frees the block.
  void release() { RawArray().swap(*this); }

 private:
  void assign(const T* from, std::size_t size) {
    resize(size);
    if (size) std::memcpy(static_cast<void*>(data_), from, size * sizeof(T));
  }

  void reallocate(std::size_t capacity) {
    if (capacity == 0) {
      std::free(data_);
      data_ = nullptr;
      capacity_ = 0;
      return;
    }
    if (capacity > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void* grown = std::realloc(static_cast<void*>(data_), capacity * sizeof(T));
    if (!grown) throw std::bad_alloc();
    data_ = static_cast<T*>(grown);
    capacity_ = capacity;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace core_calc
