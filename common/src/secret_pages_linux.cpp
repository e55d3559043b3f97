#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <mutex>

#include "common/secret_pages.h"

namespace tavrin {
namespace {

std::size_t page_size() {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

std::size_t whole_pages(std::size_t bytes) {
    const std::size_t page = page_size();
    return (bytes + page - 1) / page * page;
}

// Single pages handed back, kept for the next secret: a signing request
// takes a PIN buffer or two, and mapping and unmapping a page costs more
// than the rest of the request's own work (50 µs and more on this kind of
// machine). A kept page is wiped again here, whatever its owner did, and
// stays excluded from core files.
class KeptPages {
  public:
    void* take() {
        std::lock_guard lock(mutex_);
        if (count_ == 0) return nullptr;
        return pages_[--count_];
    }
    bool keep(void* page) {
        std::lock_guard lock(mutex_);
        if (count_ == pages_.size()) return false;
        pages_[count_++] = page;
        return true;
    }

  private:
    std::mutex mutex_;
    std::array<void*, 4> pages_{};
    std::size_t count_ = 0;
};

KeptPages& kept_pages() {
    // Never destroyed: a PIN may go back after static destructors ran.
    static auto* pages = new KeptPages;
    return *pages;
}

}  // namespace

void* allocate_secret_pages(std::size_t bytes) {
    const std::size_t length = whole_pages(bytes == 0 ? 1 : bytes);
    if (length == page_size()) {
        if (void* page = kept_pages().take()) return page;
    }
    void* memory =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    // Best effort: a kernel without MADV_DONTDUMP still gets a working buffer.
    (void)::madvise(memory, length, MADV_DONTDUMP);
    return memory;
}

void free_secret_pages(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) return;
    const std::size_t length = whole_pages(bytes == 0 ? 1 : bytes);
    if (length == page_size()) {
        ::explicit_bzero(memory, length);
        if (kept_pages().keep(memory)) return;
    }
    ::munmap(memory, length);
}

}  // namespace tavrin
