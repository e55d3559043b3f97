// A full dispatcher over a scripted backend, fed a sequence of requests (one
// per line of the input) so that listings can admit later signatures. The
// first byte picks the dispatcher form and the user's answers. Every request
// must get exactly one well-formed reply; the consent file must stay readable.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "dispatch/dispatcher.h"
#include "support/scripted_doubles.h"

namespace {

using namespace tavrin;
using namespace tavrin::testing;

std::string consent_path() {
    // Prefer a memory-backed folder: every grant writes and syncs the file.
    static const std::string path = [] {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        return (base / ("tavrin-fuzz-consent-" + std::to_string(getpid()) + ".json")).string();
    }();
    return path;
}

void check_reply(const std::string& reply) {
    const auto parsed = nlohmann::json::parse(reply, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object() || !parsed.contains("id") ||
        parsed.contains("result") == parsed.contains("error")) {
        std::abort();
    }
}

template <bool RequiresPin>
void run(std::string_view input, std::uint8_t answers) {
    std::filesystem::remove(consent_path());
    auto backend = std::make_shared<BackendScript>();
    backend->listing = CertificateList{fake_certificate("a"), fake_certificate("b")};
    if (answers & 0x08) backend->sign_error = BackendError::pin_incorrect(answers >> 6);
    auto user = std::make_shared<InteractionScript>();
    user->consent_answer = (answers & 0x01) != 0;
    user->confirm_answer = (answers & 0x02) != 0;
    if (answers & 0x04) user->pin_answer.reset();

    auto store = ConsentStore::open(consent_path());
    if (!store) std::abort();
    Dispatcher<ScriptedBackend<RequiresPin>, ScriptedInteraction> dispatcher(
        std::move(store).value(), ScriptedBackend<RequiresPin>(backend), ScriptedInteraction(user),
        RequiresPin ? Backend::Pkcs11 : Backend::Keychain);

    while (!input.empty()) {
        const auto end = input.find('\n');
        check_reply(dispatcher.handle(input.substr(0, end)));
        if (end == std::string_view::npos) break;
        input.remove_prefix(end + 1);
    }
    // Whatever was granted must read back.
    if (!ConsentStore::open(consent_path())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t answers = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    if (answers & 0x10) {
        run<true>(input, answers);
    } else {
        run<false>(input, answers);
    }
    // Leave nothing behind in the shared folder.
    std::filesystem::remove(consent_path());
    std::filesystem::remove(consent_path() + ".lock");
    return 0;
}
