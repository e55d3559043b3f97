#include "protocol/reply_limits.h"

namespace tavrin {

std::string echoed(std::string_view text) {
    if (text.size() <= kMaxEchoedBytes) return std::string(text);
    std::size_t cut = kMaxEchoedBytes;
    // Back up over continuation bytes to the start of the cut character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(text.substr(0, cut)) + "...[shortened from " + std::to_string(text.size()) +
           " bytes]";
}

}  // namespace tavrin
