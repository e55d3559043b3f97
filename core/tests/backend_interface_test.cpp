#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "backend/backend_error.h"
#include "backend/certificate_id.h"
#include "backend/pin.h"
#include "backend/token_backend.h"

namespace tavrin {
namespace {

TEST(BackendError, DisplayTexts) {
    const struct {
        BackendError error;
        const char* text;
    } cases[] = {
        {BackendError::no_reader(), "no reader detected"},
        {BackendError::no_token(), "no token/card present"},
        {BackendError::no_matching_certificates(), "no certificates match the requested purpose"},
        {BackendError::unknown_certificate_id(), "certificate id not known to this backend"},
        {BackendError::pin_incorrect(), "PIN incorrect"},
        {BackendError::pin_incorrect(2), "PIN incorrect"},
        {BackendError::pin_blocked(), "PIN blocked"},
        {BackendError::mechanism_unsupported("rsa-pss"), "mechanism unsupported: rsa-pss"},
        {BackendError::middleware_missing("install the driver"),
         "required middleware not found: install the driver"},
        {BackendError::internal("find certificates: boom"),
         "internal backend error: find certificates: boom"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.error.display(), c.text);
}

TEST(BackendError, HashLengthMismatchNamesTheAlgorithm) {
    EXPECT_EQ(hash_length_mismatch(31, HashAlg::Sha256), "hash length 31 does not match Sha256");
    EXPECT_EQ(hash_length_mismatch(32, HashAlg::Sha512), "hash length 32 does not match Sha512");
}

TEST(CertificateId, IsLowerCaseHexOfSha256) {
    const std::string abc = "abc";
    const std::vector<std::uint8_t> der(abc.begin(), abc.end());
    EXPECT_EQ(certificate_id(der),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(certificate_id({}),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

// An allocator that copies every buffer just before it is returned, so the
// test can see what a released PIN left behind.
struct FreedBuffers {
    std::vector<std::vector<char>> contents;
};

template <class T>
struct InspectingAllocator {
    using value_type = T;
    FreedBuffers* log;

    explicit InspectingAllocator(FreedBuffers* l) : log(l) {}
    template <class U>
    InspectingAllocator(const InspectingAllocator<U>& other) : log(other.log) {}  // NOLINT

    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) {
        log->contents.emplace_back(reinterpret_cast<char*>(p), reinterpret_cast<char*>(p + n));
        std::allocator<T>().deallocate(p, n);
    }
    friend bool operator==(const InspectingAllocator&, const InspectingAllocator&) = default;
};

bool all_zero(const std::vector<char>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

TEST(Pin, WipesItsWholeCapacityOnRelease) {
    FreedBuffers freed;
    {
        // Room for more than the PIN uses: the spare bytes must be wiped too.
        auto pin = BasicPin<InspectingAllocator<char>>::with_capacity(
            64, InspectingAllocator<char>(&freed));
        for (const char c : std::string("123456"))
            pin.push_back(c);
        EXPECT_EQ(pin.view(), "123456");
        EXPECT_EQ(pin.capacity(), 64u);
    }
    ASSERT_EQ(freed.contents.size(), 1u);
    EXPECT_EQ(freed.contents[0].size(), 64u);
    EXPECT_TRUE(all_zero(freed.contents[0]));
}

TEST(Pin, WipesTheOldBufferWhenItGrows) {
    FreedBuffers freed;
    {
        BasicPin<InspectingAllocator<char>> pin("12345678", InspectingAllocator<char>(&freed));
        for (int i = 0; i < 40; ++i)
            pin.push_back('9');  // forces at least one reallocation
        EXPECT_EQ(pin.size(), 48u);
    }
    ASSERT_GE(freed.contents.size(), 2u);
    for (const auto& buffer : freed.contents)
        EXPECT_TRUE(all_zero(buffer));
}

TEST(Pin, MoveLeavesOneOwner) {
    FreedBuffers freed;
    {
        BasicPin<InspectingAllocator<char>> a("0000", InspectingAllocator<char>(&freed));
        BasicPin<InspectingAllocator<char>> b(std::move(a));
        EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move)
        EXPECT_EQ(b.view(), "0000");
        BasicPin<InspectingAllocator<char>> c("1111", InspectingAllocator<char>(&freed));
        c = std::move(b);  // c's old buffer is wiped and released here
        EXPECT_EQ(c.view(), "0000");
        EXPECT_EQ(freed.contents.size(), 1u);
    }
    EXPECT_EQ(freed.contents.size(), 2u);  // each buffer released exactly once
    for (const auto& buffer : freed.contents)
        EXPECT_TRUE(all_zero(buffer));
}

TEST(Pin, EmptyPinOwnsNothing) {
    const Pin pin;
    EXPECT_TRUE(pin.empty());
    EXPECT_EQ(pin.view(), "");
}

}  // namespace
}  // namespace tavrin
