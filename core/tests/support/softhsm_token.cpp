#include "support/softhsm_token.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    setenv("TAVRIN_FORWARD_LOG", dir_.file("logins").c_str(), 1);
}

SoftHsmTokens::~SoftHsmTokens() {
    unsetenv("SOFTHSM2_CONF");
    for (const char* name : {"LOG", "FAKE", "FAIL", "SIGNATURE_LENGTH", "PAD_PIN", "PAD_DELAY_MS"})
        unsetenv(("TAVRIN_FORWARD_" + std::string(name)).c_str());
}

std::vector<std::string> SoftHsmTokens::logins() const {
    std::vector<std::string> lines;
    std::ifstream in(dir_.file("logins"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::uint8_t> token_der(const std::string& name) {
    const std::string text =
        read_file(std::string(TAVRIN_SOFTHSM_TOKENS) + "/chain-certs/" + name + ".der");
    return {text.begin(), text.end()};
}

}  // namespace tavrin::testing
