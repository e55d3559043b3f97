#include "protocol/origin.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tavrin {
namespace {

constexpr std::string_view kHttps = "https://";
constexpr std::string_view kHttp = "http://";
constexpr std::size_t kMaxNameBytes = 253;
constexpr std::size_t kMaxLabelBytes = 63;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_hex(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f');
}
bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// A decimal number without leading zero, at most `max`.
bool canonical_number(std::string_view text, unsigned max) {
    if (!all_digits(text) || text.size() > 5 || (text.size() > 1 && text.front() == '0')) {
        return false;
    }
    unsigned value = 0;
    for (const char c : text)
        value = value * 10 + static_cast<unsigned>(c - '0');
    return value <= max;
}

bool valid_ipv4(std::string_view text) {
    const auto octets = split(text, '.');
    return octets.size() == 4 && std::all_of(octets.begin(), octets.end(), [](std::string_view o) {
               return canonical_number(o, 255);
           });
}

bool valid_hex_groups(std::string_view text, std::size_t& count) {
    count = 0;
    if (text.empty()) return true;
    for (const auto group : split(text, ':')) {
        if (group.empty() || group.size() > 4 || !std::all_of(group.begin(), group.end(), is_hex)) {
            return false;
        }
        ++count;
    }
    return true;
}

bool valid_ipv6(std::string_view text) {
    const auto gap = text.find("::");
    std::size_t before = 0, after = 0;
    if (gap == std::string_view::npos) return valid_hex_groups(text, before) && before == 8;
    if (text.find("::", gap + 1) != std::string_view::npos) return false;
    return valid_hex_groups(text.substr(0, gap), before) &&
           valid_hex_groups(text.substr(gap + 2), after) && before + after <= 7;
}

std::optional<std::string> name_problem(std::string_view name) {
    if (name.size() > kMaxNameBytes) {
        return "origin's host name is longer than " + std::to_string(kMaxNameBytes) + " bytes";
    }
    std::string_view labels = name;
    if (labels.ends_with('.')) labels.remove_suffix(1);
    const auto parts = split(labels, '.');
    for (const auto label : parts) {
        if (label.empty()) return std::string("origin's host has an empty label");
        if (label.size() > kMaxLabelBytes) {
            return "origin's host has a label longer than " + std::to_string(kMaxLabelBytes) +
                   " bytes";
        }
        for (const char c : label) {
            if (!(is_digit(c) || (c >= 'a' && c <= 'z') || c == '-' || c == '_')) {
                return "origin's host contains '" + std::string(1, c) +
                       "'; a host name holds only a-z, 0-9, '-', '_' and '.'";
            }
        }
    }
    // A browser reads a host ending in a number as an IPv4 address and
    // writes it in dotted-quad form.
    if (all_digits(parts.back()) && !valid_ipv4(labels)) {
        return std::string("origin's host is not an IPv4 address in dotted-quad form");
    }
    return std::nullopt;
}

std::optional<std::string> character_problem(std::string_view origin) {
    for (std::size_t i = 0; i < origin.size(); ++i) {
        const auto c = static_cast<unsigned char>(origin[i]);
        const char* what = nullptr;
        if (c < 0x20 || c == 0x7f) {
            what = "a control character";
        } else if (c == ' ') {
            what = "white space";
        } else if (c >= 0x80) {
            what = "a non-ASCII byte (internationalised names are written in punycode)";
        } else if (c >= 'A' && c <= 'Z') {
            what = "an upper-case letter";
        }
        if (what != nullptr) {
            return "origin contains " + std::string(what) + " at byte offset " + std::to_string(i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> origin_problem(std::string_view origin) {
    if (origin.empty()) return std::string("origin is empty");
    if (origin.size() > kMaxOriginBytes) {
        return "origin is " + std::to_string(origin.size()) + " bytes long, more than " +
               std::to_string(kMaxOriginBytes);
    }
    if (auto problem = character_problem(origin)) return problem;

    const bool secure = origin.starts_with(kHttps);
    if (!secure && !origin.starts_with(kHttp)) {
        return std::string(
            "origin must begin with \"https://\" (\"http://\" only for localhost, 127.0.0.1 and "
            "[::1])");
    }
    const std::string_view authority = origin.substr(secure ? kHttps.size() : kHttp.size());
    if (authority.find_first_of("/?#") != std::string_view::npos) {
        return std::string("origin must not have a path, query or fragment");
    }
    if (authority.find('@') != std::string_view::npos) {
        return std::string("origin must not have user information");
    }

    // The host ends at the closing bracket of an IPv6 address, else at the
    // first colon.
    std::size_t host_end = 0;
    if (authority.starts_with('[')) {
        host_end = authority.find(']');
        if (host_end == std::string_view::npos) {
            return std::string("origin's IPv6 address lacks its closing ']'");
        }
        ++host_end;
    } else {
        host_end = std::min(authority.find(':'), authority.size());
    }
    const std::string_view host = authority.substr(0, host_end);
    const std::string_view rest = authority.substr(host_end);
    if (host.empty()) return std::string("origin has no host");

    if (!rest.empty()) {
        const std::string_view port = rest.substr(1);
        if (rest.front() != ':' || !canonical_number(port, 65535) || port == "0") {
            return std::string(
                "origin's port must be a number from 1 to 65535 without leading zeros");
        }
        if (port == (secure ? "443" : "80")) {
            return "origin must omit the scheme's default port " + std::string(port);
        }
    }

    if (!secure) {
        constexpr std::array<std::string_view, 3> kLoopback{"localhost", "127.0.0.1", "[::1]"};
        if (std::find(kLoopback.begin(), kLoopback.end(), host) == kLoopback.end()) {
            return std::string(
                "origin uses \"http://\", which is accepted only for localhost, 127.0.0.1 and "
                "[::1]");
        }
        return std::nullopt;
    }
    if (host.front() == '[') {
        if (!valid_ipv6(host.substr(1, host.size() - 2))) {
            return std::string("origin's host is not a valid IPv6 address");
        }
        return std::nullopt;
    }
    return name_problem(host);
}

}  // namespace tavrin
