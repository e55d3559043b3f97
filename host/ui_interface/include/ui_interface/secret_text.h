#pragma once
// Text that must not linger in memory (a PIN): one buffer, overwritten with
// zeros before it is released, never copied.

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include <strings.h>

namespace tavrin::host {

class SecretText {
  public:
    SecretText() = default;
    explicit SecretText(std::string_view text)
        : data_(std::make_unique<char[]>(text.size() + 1)), size_(text.size()) {
        std::memcpy(data_.get(), text.data(), text.size());
    }
    SecretText(SecretText&& other) noexcept
        : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}
    SecretText& operator=(SecretText&& other) noexcept {
        if (this != &other) {
            wipe();
            data_ = std::move(other.data_);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText() { wipe(); }

    // NUL-terminated.
    const char* c_str() const { return data_ ? data_.get() : ""; }
    std::size_t size() const { return size_; }

  private:
    void wipe() {
        if (data_) explicit_bzero(data_.get(), size_ + 1);
        data_.reset();
        size_ = 0;
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

}  // namespace tavrin::host
