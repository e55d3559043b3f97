#pragma once
// Memory for secrets (PIN buffers): whole pages of their own, excluded from
// core files where the system allows it, so that a crash report never
// carries a PIN even if the process could write one. Its owner wipes it
// before handing it back; a few single pages are then wiped once more and
// kept for the next secret instead of being unmapped.

#include <cstddef>
#include <new>

namespace tavrin {

// At least `bytes` bytes; throws std::bad_alloc like operator new.
void* allocate_secret_pages(std::size_t bytes);
void free_secret_pages(void* memory, std::size_t bytes) noexcept;

// A standard allocator over those pages.
template <class T>
struct SecretAllocator {
    using value_type = T;
    SecretAllocator() = default;
    template <class U>
    SecretAllocator(const SecretAllocator<U>&) noexcept {}  // NOLINT
    T* allocate(std::size_t n) { return static_cast<T*>(allocate_secret_pages(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { free_secret_pages(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const SecretAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace tavrin
