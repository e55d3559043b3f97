#include <sys/mman.h>
#include <unistd.h>

#include "common/secret_pages.h"

namespace tavrin {
namespace {

std::size_t whole_pages(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

}  // namespace

void* allocate_secret_pages(std::size_t bytes) {
    const std::size_t length = whole_pages(bytes == 0 ? 1 : bytes);
    void* memory =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    // Best effort: a kernel without MADV_DONTDUMP still gets a working buffer.
    (void)::madvise(memory, length, MADV_DONTDUMP);
    return memory;
}

void free_secret_pages(void* memory, std::size_t bytes) noexcept {
    if (memory != nullptr) ::munmap(memory, whole_pages(bytes == 0 ? 1 : bytes));
}

}  // namespace tavrin
