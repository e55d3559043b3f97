// Decoding the core's status reply for the management window.

#include <gtest/gtest.h>

#include <string>

#include "management/host_status.h"

namespace tavrin::host {
namespace {

std::optional<HostStatus> decode(const std::string& text) {
    return decodeHostStatus(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(HostStatusDecode, TakesTheResultsFieldsAndNeedsAResultObject) {
    const auto full = decode(R"({"id":"gui-status","result":{"version":"0.1.0",
        "protocolVersion":"1.0","platform":"linux","backends":["pkcs11","keychain"],
        "middlewareIssues":[{"module":"/usr/lib/x.so","issue":"missing"},{"module":"m"},
        {"issue":"i"},7],"buildInfo":{"gitSha":"abc1234","date":"2026-12-07"}}})");
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, (HostStatus{"0.1.0",
                                 "1.0",
                                 "linux",
                                 {"pkcs11", "keychain"},
                                 {{"/usr/lib/x.so", "missing"}},
                                 HostStatus::BuildInfo{"abc1234", "2026-12-07"},
                                 {}}));

    // No status without a result object.
    for (const char* reply : {"", "not json", "[]", R"({"id":"x"})", R"({"result":"ok"})",
                              R"({"id":"x","error":{"code":"internal","message":"m"}})"}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(decode(reply));
    }
}

}  // namespace
}  // namespace tavrin::host
