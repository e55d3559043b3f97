#include <gtest/gtest.h>

#include <string>

#include "protocol/base64.h"
#include "protocol/reply_writer.h"
#include "protocol/request_reader.h"

namespace tavrin {
namespace {

using nlohmann::json;

std::string request_error(std::string_view text) {
    const auto parsed = parse_request(text);
    return parsed ? std::string("<parsed>") : parsed.error();
}

TEST(RequestReader, RefusesBadEnvelopesNamingTheProblem) {
    const struct {
        const char* input;
        const char* error;
    } cases[] = {
        {R"({"method":"status"})", "missing key \"id\""},
        {R"({"id":"1"})", "missing key \"method\""},
        {R"({"id":7,"method":"status"})", "key \"id\" must be a string, found number"},
        {R"({"id":"1","method":null})", "key \"method\" must be a string, found null"},
        {R"(["status"])", "the request must be an object, found array"},
        {R"({"id":"1","method":"status","id":"2"})", "duplicate key \"id\" at line 1, column 32"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(request_error(c.input), c.error) << c.input;
}

// The origin, the purpose and the certificate id are read in every dispatcher test.
TEST(RequestReader, DecodesSignParamsIgnoringUnknownKeys) {
    const auto sign = decode_sign_params(json::parse(
        R"({"origin":"https://o.example","certId":"c","hashAlg":"SHA-512","scheme":"ecdsa",)"
        R"("hashes":["AA==",""],"x":1})"));
    ASSERT_TRUE(sign) << sign.error();
    EXPECT_EQ(sign.value().hash_alg, HashAlg::Sha512);
    EXPECT_EQ(sign.value().scheme, Scheme::Ecdsa);
    EXPECT_EQ(sign.value().hashes, (std::vector<std::string>{"AA==", ""}));
}

TEST(RequestReader, RefusesBadParamsNamingTheProblem) {
    const std::string base = R"("origin":"https://o.example","certId":"c")";
    const struct {
        bool sign;  // else listCertificates
        std::string params;
        const char* error;
    } cases[] = {
        {false, R"({"purpose":"sign"})", "missing key \"origin\""},
        {false, R"({"origin":"https://o.example"})", "missing key \"purpose\""},
        {false, R"({"origin":"https://o.example","purpose":"Sign"})",
         R"(unknown variant "Sign" for key "purpose", expected one of "sign", "auth", "any")"},
        {false, R"({"origin":"https://o.example","purpose":1})",
         "key \"purpose\" must be a string, found number"},
        {true, "{" + base + R"(,"hashAlg":"sha-256","scheme":"ecdsa","hashes":[]})",
         R"(unknown variant "sha-256" for key "hashAlg", expected one of "SHA-256", "SHA-512")"},
        {true, "{" + base + R"(,"hashAlg":"SHA-256","scheme":"RSA-PSS","hashes":[]})",
         R"(unknown variant "RSA-PSS" for key "scheme", expected one of "rsa-pkcs1", "rsa-pss", "ecdsa")"},
        {true, "{" + base + R"(,"hashAlg":"SHA-256","scheme":"ecdsa"})", "missing key \"hashes\""},
        {true, "{" + base + R"(,"hashAlg":"SHA-256","scheme":"ecdsa","hashes":"AA=="})",
         "key \"hashes\" must be an array, found string"},
        {true, "{" + base + R"(,"hashAlg":"SHA-256","scheme":"ecdsa","hashes":["AA==",5]})",
         "entry 1 of key \"hashes\" must be a string, found number"},
        {true, "[]", "params must be an object, found array"},
    };
    for (const auto& c : cases) {
        const json params = json::parse(c.params);
        const std::string error = c.sign ? decode_sign_params(params).error()
                                         : decode_list_certificates_params(params).error();
        EXPECT_EQ(error, c.error) << c.params;
    }
}

CertificateInfo sample_certificate() {
    CertificateInfo info;
    info.cert_id = "ab";
    info.der = {0x30, 0x00};
    info.key_algorithm = KeyAlgorithm::EcBrainpoolP256r1;
    info.purposes = {CertPurpose::Sign, CertPurpose::Auth};
    info.backend = Backend::Pkcs11;
    info.not_after = "2049-12-31T23:59:59Z";
    return info;
}

TEST(ReplyWriter, CertificateOmitsAbsentOptionalMembers) {
    SuccessResponse<ListCertificatesResult> reply{"7", {{sample_certificate()}}};
    EXPECT_EQ(
        write_reply(reply),
        R"({"id":"7","result":{"certificates":[{"certId":"ab","der":"MAA=","chain":[],)"
        R"("keyAlgorithm":"ec-brainpoolP256r1","purposes":["sign","auth"],"backend":"pkcs11",)"
        R"("notAfter":"2049-12-31T23:59:59Z"}]}})");

    CertificateInfo full = sample_certificate();
    full.chain = {{0x01}, {0x02, 0x03}};
    full.token_label = "Karta";
    full.qualified = false;
    EXPECT_EQ(
        certificate_json(full).dump(),
        R"({"certId":"ab","der":"MAA=","chain":["AQ==","AgM="],)"
        R"("keyAlgorithm":"ec-brainpoolP256r1","purposes":["sign","auth"],"tokenLabel":"Karta",)"
        R"("backend":"pkcs11","notAfter":"2049-12-31T23:59:59Z","qualified":false})");
}

TEST(ReplyWriter, EscapesOnlyWhatJsonRequires) {
    const std::string id =
        "\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD \xF0\x9F\x94\x91 \"q\" \\ \x01\n/\x7F";
    const std::string reply = write_reply(ErrorResponse{id, {ErrorCode::UserCancelled, "m", {}}});
    EXPECT_EQ(reply,
              "{\"id\":\"\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD \xF0\x9F\x94\x91 \\\"q\\\" "
              "\\\\ \\u0001\\n/\x7F\",\"error\":{\"code\":\"user_cancelled\",\"message\":\"m\"}}");
}

Bytes bytes_of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(Base64, RoundTripsEveryLengthModuloThree) {
    const struct {
        const char* plain;
        const char* encoded;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foobar", "Zm9vYmFy"},
        {"\xFB\xFF\xBF", "+/+/"},  // the standard alphabet's last two characters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(base64_encode(bytes_of(c.plain)), c.encoded);
        const auto decoded = base64_decode(c.encoded);
        ASSERT_TRUE(decoded) << c.encoded << ": " << decoded.error();
        EXPECT_EQ(decoded.value(), bytes_of(c.plain));
    }
}

TEST(Base64, RejectsNonCanonicalInputWithAReason) {
    const struct {
        const char* input;
        const char* reason;
    } cases[] = {
        {"Zg", "length 2 is not a multiple of 4"},
        {"Zm9vY", "length 5 is not a multiple of 4"},
        {"Zh==", "non-zero trailing bits in character 'h' at offset 1"},
        {"Zm9=", "non-zero trailing bits in character '9' at offset 2"},
        {"Zm-v", "invalid character '-' at offset 2"},
        {"Zm_v", "invalid character '_' at offset 2"},
        {"Zm9v\n", "length 5 is not a multiple of 4"},
        {"Zm 9", "invalid character byte 0x20 at offset 2"},
        {"Z===", "padding '=' before the end at offset 1"},
        {"====", "padding '=' before the end at offset 0"},
        {"Zg==Zg==", "padding '=' before the end at offset 2"},
        {"Zm=v", "padding '=' before the end at offset 2"},
    };
    for (const auto& c : cases) {
        const auto decoded = base64_decode(c.input);
        ASSERT_FALSE(decoded) << c.input;
        EXPECT_EQ(decoded.error(), c.reason) << c.input;
    }
}

}  // namespace
}  // namespace tavrin
