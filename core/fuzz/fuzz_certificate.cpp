// The three certificate readers over arbitrary bytes. All three decode the
// input the same way, so they must agree on whether it is a certificate and,
// when it is not, on why.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "backend/x509/certificate_fields.h"

namespace {

// YYYY-MM-DDTHH:MM:SSZ, not before 1970.
bool well_formed_time(const std::string& t) {
    static constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:ddZ";
    if (t.size() != kPattern.size() || t < "1970") return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const bool digit = t[i] >= '0' && t[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : t[i] != kPattern[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> der(data, size);
    const auto purposes = tavrin::extract_purposes(der);
    const auto not_after = tavrin::extract_not_after(der);
    const auto with_size = tavrin::extract_key_algorithm(der, 2048);
    const auto without_size = tavrin::extract_key_algorithm(der, std::nullopt);

    if (not_after.ok()) {
        if (!well_formed_time(not_after.value())) std::abort();
        // Past decoding, only the two extensions can make the purposes fail.
        if (!purposes.ok() && purposes.error().text.rfind("KeyUsage: ", 0) != 0 &&
            purposes.error().text.rfind("ExtendedKeyUsage: ", 0) != 0) {
            std::abort();
        }
        // The RSA branch is the only one that reads the supplied size.
        if (with_size.ok() && !without_size.ok() &&
            without_size.error().text != "RSA key: modulus size not supplied by caller") {
            std::abort();
        }
    } else {
        // Not a certificate: every reader fails with the same decoding error.
        if (purposes.ok() || with_size.ok() || without_size.ok()) std::abort();
        if (!(purposes.error() == not_after.error()) || !(with_size.error() == not_after.error()) ||
            !(without_size.error() == not_after.error())) {
            std::abort();
        }
    }
    return 0;
}
