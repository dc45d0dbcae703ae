// A sequence of plain records that keeps up to 16 elements inside itself, so
// that a word's runes or a lattice cell's candidates need no heap block in the
// common case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace lumo::typing::text::jieba {

template <typename T>
class InlineVector {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "InlineVector holds plain records only: elements are copied bytewise");

 public:
  static constexpr std::size_t kInsideRoom = 16;

  InlineVector() noexcept : data_(inside_) {}
  ~InlineVector() { FreeHeap(); }

  // A copy gets the source's size and capacity: the inside room when the
  // source uses it, else a heap block of the source's capacity.
  InlineVector(const InlineVector& other) : data_(inside_) { CopyFrom(other); }
  InlineVector& operator=(const InlineVector& other) {
    if (this != &other) {
      FreeHeap();
      data_ = inside_;
      capacity_ = kInsideRoom;
      CopyFrom(other);
    }
    return *this;
  }
  // A move takes over the source's heap block; the source returns to its
  // inside room, empty.
  InlineVector(InlineVector&& other) noexcept : data_(inside_) { StealFrom(other); }
  InlineVector& operator=(InlineVector&& other) noexcept {
    if (this != &other) {
      FreeHeap();
      data_ = inside_;
      capacity_ = kInsideRoom;
      StealFrom(other);
    }
    return *this;
  }

  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return size_ == 0; }
  bool UsesInsideRoom() const noexcept { return data_ == inside_; }

  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  T* begin() noexcept { return data_; }
  T* end() noexcept { return data_ + size_; }
  const T* begin() const noexcept { return data_; }
  const T* end() const noexcept { return data_ + size_; }
  T& operator[](std::size_t i) noexcept { return data_[i]; }
  const T& operator[](std::size_t i) const noexcept { return data_[i]; }
  T& back() noexcept { return data_[size_ - 1]; }
  const T& back() const noexcept { return data_[size_ - 1]; }

  // Appending to a full sequence doubles its capacity.
  void push_back(const T& value) {
    if (size_ == capacity_) {
      const T copy = value;  // value may live in the block that Grow frees
      Grow(capacity_ * 2);
      data_[size_++] = copy;
      return;
    }
    data_[size_++] = value;
  }

  // Grows the capacity to exactly n when n is larger; a smaller n does nothing.
  void reserve(std::size_t n) {
    if (n > capacity_) Grow(n);
  }

  // Sets the size to n; new elements are value-initialised. Grows exactly to n
  // when n exceeds the capacity.
  void resize(std::size_t n) {
    reserve(n);
    for (std::size_t i = size_; i < n; ++i) data_[i] = T{};
    size_ = n;
  }

  // Frees the heap block and returns to the inside room.
  void clear() noexcept {
    FreeHeap();
    data_ = inside_;
    capacity_ = kInsideRoom;
    size_ = 0;
  }

 private:
  void FreeHeap() noexcept {
    if (data_ != inside_) ::operator delete(data_);
  }

  void Grow(std::size_t new_capacity) {
    T* block = static_cast<T*>(::operator new(new_capacity * sizeof(T)));
    if (size_ > 0) std::memcpy(block, data_, size_ * sizeof(T));
    FreeHeap();
    data_ = block;
    capacity_ = new_capacity;
  }

  void CopyFrom(const InlineVector& other) {
    if (!other.UsesInsideRoom()) {
      data_ = static_cast<T*>(::operator new(other.capacity_ * sizeof(T)));
      capacity_ = other.capacity_;
    }
    if (other.size_ > 0) std::memcpy(data_, other.data_, other.size_ * sizeof(T));
    size_ = other.size_;
  }

  void StealFrom(InlineVector& other) noexcept {
    if (other.UsesInsideRoom()) {
      if (other.size_ > 0) std::memcpy(inside_, other.inside_, other.size_ * sizeof(T));
    } else {
      data_ = other.data_;
      capacity_ = other.capacity_;
    }
    size_ = other.size_;
    other.data_ = other.inside_;
    other.capacity_ = kInsideRoom;
    other.size_ = 0;
  }

  T* data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInsideRoom;
  alignas(T) T inside_[kInsideRoom];
};

}  // namespace lumo::typing::text::jieba
