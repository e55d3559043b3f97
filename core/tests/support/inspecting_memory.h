#pragma once
// A memory resource that keeps a copy of every buffer handed back to it, so a
// test can see what a released secret left behind.

#include <algorithm>
#include <memory_resource>
#include <vector>

namespace tavrin::testing {

class InspectingMemory : public std::pmr::memory_resource {
  public:
    std::vector<std::vector<char>> freed;

  private:
    void* do_allocate(std::size_t bytes, std::size_t align) override {
        return std::pmr::new_delete_resource()->allocate(bytes, align);
    }
    void do_deallocate(void* p, std::size_t bytes, std::size_t align) override {
        freed.emplace_back(static_cast<char*>(p), static_cast<char*>(p) + bytes);
        std::pmr::new_delete_resource()->deallocate(p, bytes, align);
    }
    bool do_is_equal(const memory_resource& other) const noexcept override {
        return this == &other;
    }
};

inline bool all_zero(const std::vector<char>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

}  // namespace tavrin::testing
