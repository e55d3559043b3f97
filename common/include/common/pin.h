#pragma once
// The user's PIN. It lives in one buffer that is overwritten with zeros over
// its whole allocated capacity before the memory is returned, on every path.
// It cannot be copied, only moved, so no stray copy outlives it. The buffer
// sits on pages of its own that core files leave out (common/secret_pages.h). The core, the host
// and the prompt all hold the PIN in this one type.

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include <string.h>  // explicit_bzero

#include "common/secret_pages.h"

namespace tavrin {

template <class Allocator = std::allocator<char>>
class BasicPin {
  public:
    BasicPin() = default;
    explicit BasicPin(const Allocator& alloc) : alloc_(alloc) {}
    explicit BasicPin(std::string_view text, const Allocator& alloc = Allocator()) : alloc_(alloc) {
        reserve(text.size());
        for (const char c : text)
            push_back(c);
    }
    // An empty PIN that can take `capacity` bytes without reallocating.
    static BasicPin with_capacity(std::size_t capacity, const Allocator& alloc = Allocator()) {
        BasicPin pin(alloc);
        pin.reserve(capacity);
        return pin;
    }

    BasicPin(const BasicPin&) = delete;
    BasicPin& operator=(const BasicPin&) = delete;
    BasicPin(BasicPin&& other) noexcept
        : alloc_(other.alloc_),
          data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    BasicPin& operator=(BasicPin&& other) noexcept {
        if (this != &other) {
            release();
            alloc_ = other.alloc_;
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    ~BasicPin() { release(); }

    // Appends one byte; grows by moving into a new buffer and wiping the old.
    void push_back(char c) {
        if (size_ == capacity_) reserve(capacity_ == 0 ? 16 : 2 * capacity_);
        data_[size_++] = c;
    }

    // An empty PIN of `capacity` bytes filled in place by `fill(buffer,
    // capacity)`, which returns how many bytes it wrote, or nothing to give
    // up: the PIN is then wiped and nothing is returned. The PIN never
    // moves, so no copy of it is left anywhere else.
    template <class Fill>
    static std::optional<BasicPin> filled(std::size_t capacity, Fill&& fill,
                                          const Allocator& alloc = Allocator()) {
        BasicPin pin = with_capacity(capacity, alloc);
        const std::optional<std::size_t> written = fill(pin.data_, pin.capacity_);
        if (!written || *written > pin.capacity_) return std::nullopt;
        pin.size_ = *written;
        return pin;
    }

    std::string_view view() const { return {data_, size_}; }
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }

  private:
    void reserve(std::size_t capacity) {
        if (capacity <= capacity_) return;
        char* fresh = std::allocator_traits<Allocator>::allocate(alloc_, capacity);
        for (std::size_t i = 0; i < size_; ++i)
            fresh[i] = data_[i];
        const std::size_t size = size_;
        release();
        data_ = fresh;
        size_ = size;
        capacity_ = capacity;
    }

    void release() {
        if (data_ != nullptr) {
            ::explicit_bzero(data_, capacity_);
            std::allocator_traits<Allocator>::deallocate(alloc_, data_, capacity_);
        }
        data_ = nullptr;
        size_ = 0;
        capacity_ = 0;
    }

    [[no_unique_address]] Allocator alloc_{};
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

using Pin = BasicPin<SecretAllocator<char>>;

}  // namespace tavrin
