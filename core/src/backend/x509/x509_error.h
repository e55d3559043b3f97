#pragma once

#include <string>

namespace tavrin {

// A certificate that could not be read for the field asked for. `text` is the
// cause (the decoder's own description, or one of the fixed texts of the
// extraction functions); the display text puts the common prefix in front.
struct X509Error {
    std::string text;

    std::string display() const { return "failed to parse certificate: " + text; }
    friend bool operator==(const X509Error&, const X509Error&) = default;
};

}  // namespace tavrin
