#pragma once
// The one accepted form of a request's "origin": a web origin exactly as a
// browser serializes it. The origin is shown in the consent prompt and is
// the key of every stored grant, so anything that could disguise it (line
// breaks, look-alike spellings of one site, a path that reads like a host)
// is refused before a prompt, a grant or a listing.
//
// Grammar (ABNF, RFC 5234; the whole text at most 255 bytes, ASCII only):
//
//   origin      = "https://" host [ ":" port ]
//               / "http://" loopback [ ":" port ]
//   loopback    = "localhost" / "127.0.0.1" / "[::1]"
//   host        = name / ipv4 / "[" ipv6 "]"
//   name        = label *( "." label ) [ "." ]   ; at most 253 bytes, and its
//                                                ; last label not all digits
//   label       = 1*63( %x61-7A / DIGIT / "-" / "_" )   ; a-z, 0-9, "-", "_"
//   ipv4        = dec-octet 3( "." dec-octet )
//   dec-octet   = "0" / %x31-39 0*2DIGIT          ; 0 to 255, no leading zero
//   ipv6        = 1*39( %x61-66 / DIGIT / ":" )   ; a-f, 0-9 and ":", eight
//                 ; groups of 1 to 4 hex digits, or fewer with one "::"
//   port        = %x31-39 0*4DIGIT                ; 1 to 65535, no leading
//                 ; zero, never the scheme's default (443, 80)
//
// Internationalised names arrive in their punycode form ("xn--"), which the
// grammar accepts like any other label. There is no path (not even "/"),
// query, fragment, user information, upper-case letter, white space or
// control character: a browser never writes one in an origin.

#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

inline constexpr std::size_t kMaxOriginBytes = 255;

// What is wrong with `origin` (a text that starts "origin ..."), or nothing
// when it is a serialized web origin under the grammar above. The text never
// quotes the origin itself.
std::optional<std::string> origin_problem(std::string_view origin);

}  // namespace tavrin
