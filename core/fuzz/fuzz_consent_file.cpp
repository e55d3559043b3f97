// Feeds arbitrary bytes to the consent file reader. Whatever it accepts must
// survive a write and a second read unchanged, and the written form must be
// stable: writing what was read back gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "consent/store_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto first = tavrin::parse_store_file(text);
    if (!first) return 0;

    const std::string written = tavrin::write_store_file(first.value());
    auto second = tavrin::parse_store_file(written);
    if (!second || !(second.value() == first.value())) std::abort();
    if (tavrin::write_store_file(second.value()) != written) std::abort();
    return 0;
}
