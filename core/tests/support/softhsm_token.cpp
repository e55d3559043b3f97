#include "support/softhsm_token.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tavrin::testing {

SoftHsmTokens::SoftHsmTokens(std::initializer_list<std::string> labels) {
    namespace fs = std::filesystem;
    const fs::path tokens = dir_.path() / "tokens";
    fs::create_directory(tokens);
    for (const auto& label : labels) {
        const fs::path made = fs::path(TAVRIN_SOFTHSM_TOKENS) / label;
        if (!fs::is_directory(made)) throw std::runtime_error("no fixture token " + label);
        fs::copy(made, tokens, fs::copy_options::recursive);
    }
    const std::string conf = dir_.file("softhsm2.conf");
    write_file(conf, "directories.tokendir = " + tokens.string() +
                         "\nobjectstore.backend = file\nlog.level = ERROR\n");
    setenv("SOFTHSM2_CONF", conf.c_str(), 1);
}

SoftHsmTokens::~SoftHsmTokens() {
    unsetenv("SOFTHSM2_CONF");
}

std::string SoftHsmTokens::module_path() {
    return TAVRIN_SOFTHSM_MODULE;
}

std::vector<std::uint8_t> token_der(const std::string& name) {
    const std::string text =
        read_file(std::string(TAVRIN_SOFTHSM_TOKENS) + "/chain-certs/" + name + ".der");
    return {text.begin(), text.end()};
}

}  // namespace tavrin::testing
