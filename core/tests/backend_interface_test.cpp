#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>

#include "backend/certificate_id.h"
#include "common/pin.h"
#include "common/bytes.h"
#include "support/inspecting_memory.h"

namespace tavrin {
namespace {

TEST(CertificateId, IsLowerCaseHexOfSha256) {
    EXPECT_EQ(certificate_id(Bytes{'a', 'b', 'c'}),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

using testing::all_zero;
using testing::InspectingMemory;

// Unlike std::pmr::polymorphic_allocator, assignable, so a PIN can be move-assigned.
template <class T>
struct InspectingAllocator {
    using value_type = T;
    InspectingMemory* memory;

    InspectingAllocator(InspectingMemory* m) : memory(m) {}  // NOLINT: implicit on purpose
    template <class U>
    InspectingAllocator(const InspectingAllocator<U>& other) : memory(other.memory) {}  // NOLINT

    T* allocate(std::size_t n) {
        return static_cast<T*>(memory->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, std::size_t n) { memory->deallocate(p, n * sizeof(T), alignof(T)); }
    friend bool operator==(const InspectingAllocator&, const InspectingAllocator&) = default;
};
using MemoryPin = BasicPin<InspectingAllocator<char>>;

// Every buffer a PIN held is wiped whole before it is released: at the end,
// when it grows, and when another PIN is moved over it.
TEST(Pin, WipesEveryBufferItReleases) {
    InspectingMemory memory;
    {
        // Room for more than the PIN uses: the spare bytes must be wiped too.
        auto pin = MemoryPin::with_capacity(64, &memory);
        for (const char c : std::string("123456"))
            pin.push_back(c);
        EXPECT_EQ(pin.view(), "123456");
        EXPECT_EQ(pin.capacity(), 64u);
    }
    ASSERT_EQ(memory.freed.size(), 1u);
    EXPECT_EQ(memory.freed[0].size(), 64u);
    {
        MemoryPin pin("12345678", &memory);
        for (int i = 0; i < 40; ++i)
            pin.push_back('9');  // forces at least one reallocation
        EXPECT_EQ(pin.size(), 48u);
    }
    const std::size_t before = memory.freed.size();
    EXPECT_GE(before, 3u);
    {
        MemoryPin a("0000", &memory);
        MemoryPin b(std::move(a));
        EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move)
        EXPECT_EQ(b.view(), "0000");
        MemoryPin c("1111", &memory);
        c = std::move(b);  // c's old buffer is wiped and released here
        EXPECT_EQ(c.view(), "0000");
        EXPECT_EQ(memory.freed.size(), before + 1);
    }
    EXPECT_EQ(memory.freed.size(), before + 2);  // each buffer released exactly once
    for (const auto& buffer : memory.freed)
        EXPECT_TRUE(all_zero(buffer));
}

TEST(Pin, ItsBufferIsLeftOutOfCoreFiles) {
    const Pin pin("1234");
    const auto at = reinterpret_cast<std::uintptr_t>(pin.data());
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t start = 0, end = 0;
        if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " ", &start, &end) == 2) {
            inside = start <= at && at < end;
        } else if (inside && line.starts_with("VmFlags:")) {
            EXPECT_NE((line + " ").find(" dd "), std::string::npos) << line;
            return;
        }
    }
    ADD_FAILURE() << "no mapping holds the PIN";
}

}  // namespace
}  // namespace tavrin
