// Replies shared by every dispatcher form: status, parse errors, unknown
// methods and the mapping of backend errors onto the wire.

#include <gtest/gtest.h>

#include <regex>

#include "dispatch/reply_serializers.h"
#include "dispatch/stateless_router.h"
#include "protocol/build_info.h"

namespace tavrin {
namespace {

std::string expected_status(const std::string& id, const std::string& backends) {
    const BuildInfo build = BuildInfo::current();
    return R"({"id":")" + id +
           R"(","result":{"version":"0.1.0","protocolVersion":"1.0","platform":"linux","backends":)" +
           backends + R"(,"buildInfo":{"gitSha":")" + std::string(build.git_sha) + R"(","date":")" +
           std::string(build.date) + R"("}}})";
}

TEST(Status, ReplyIsByteExactWithABuildStampOfFixedForm) {
    EXPECT_EQ(dispatch(R"({"id":"gui-status","method":"status","params":{}})"),
              expected_status("gui-status", "[]"));
    const Backend keychain = Backend::Keychain;
    EXPECT_EQ(handle_status("9", {&keychain, 1}), expected_status("9", R"(["keychain"])"));
    const BuildInfo build = BuildInfo::current();
    EXPECT_TRUE(std::regex_match(std::string(build.git_sha), std::regex("[0-9a-f]{12}")));
    EXPECT_TRUE(std::regex_match(std::string(build.date), std::regex("\\d{4}-\\d{2}-\\d{2}")));
}

TEST(StatelessDispatch, AnswersOnlyStatus) {
    const struct {
        const char* request;
        const char* reply;
    } cases[] = {
        {R"({"id":"1","method":"listCertificates","params":{"origin":"o","purpose":"sign"}})",
         R"({"id":"1","error":{"code":"request_invalid","message":"unknown method: listCertificates"}})"},
        {R"({"id":"3","method":"Status"})",
         R"({"id":"3","error":{"code":"request_invalid","message":"unknown method: Status"}})"},
        {R"({"id":7,"method":"status"})",
         R"({"id":"","error":{"code":"request_invalid","message":"malformed request: key \"id\" must be a string, found number"}})"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dispatch(c.request), c.reply) << c.request;
}

TEST(BackendErrors, MapOntoCodesMessagesAndData) {
    const struct {
        BackendError error;
        const char* reply;
    } cases[] = {
        {BackendError::no_reader(), R"({"code":"no_reader","message":"no reader detected"})"},
        {BackendError::no_token(), R"({"code":"no_token","message":"no token/card present"})"},
        {BackendError::no_matching_certificates(),
         R"({"code":"no_certificates","message":"no certificates match the requested purpose"})"},
        {BackendError::unknown_certificate_id(),
         R"({"code":"origin_not_allowed","message":"certificate id not known to this backend"})"},
        {BackendError::pin_incorrect(), R"({"code":"pin_incorrect","message":"PIN incorrect"})"},
        {BackendError::pin_incorrect(0),
         R"({"code":"pin_incorrect","message":"PIN incorrect","data":{"retriesLeft":0}})"},
        {BackendError::pin_blocked(), R"({"code":"pin_blocked","message":"PIN blocked"})"},
        {BackendError::mechanism_unsupported("rsa-pss with this key"),
         R"({"code":"mechanism_unsupported","message":"mechanism unsupported: rsa-pss with this key","data":{"requested":"rsa-pss with this key"}})"},
        {BackendError::middleware_missing("libtoken.so"),
         R"({"code":"middleware_missing","message":"required middleware not found: libtoken.so","data":{"hint":"libtoken.so"}})"},
        {BackendError::internal("x"),
         R"({"code":"internal","message":"internal backend error: x"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(serialize_backend_error("b", c.error),
                  std::string(R"({"id":"b","error":)") + c.reply + "}");
    }
}

}  // namespace
}  // namespace tavrin
