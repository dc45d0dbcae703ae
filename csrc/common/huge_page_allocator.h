// An allocator for large, randomly probed tables.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace lumo::typing::text {

// Allocates blocks of 2 MiB or more aligned to 2 MiB and asks the kernel to
// back them with huge pages, so that random probes into a large table miss
// the address-translation cache far less often. Smaller blocks come from
// operator new. Stateless: all instances are interchangeable.
template <typename T>
struct HugePageAllocator {
  using value_type = T;
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kHugePage) return static_cast<T*>(::operator new(bytes, std::align_val_t{alignof(T)}));
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block == nullptr) throw std::bad_alloc();
    ::madvise(block, rounded, MADV_HUGEPAGE);  // advice only: failure changes nothing
    return static_cast<T*>(block);
  }

  void deallocate(T* block, std::size_t count) noexcept {
    if (count * sizeof(T) < kHugePage) {
      ::operator delete(block, std::align_val_t{alignof(T)});
    } else {
      std::free(block);
    }
  }

  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace lumo::typing::text
