#pragma once
// A minimal HTTP/1.1 client for a server on 127.0.0.1: enough for the
// browser's remote-debugging endpoint, which answers small JSON documents.

#include <string>

namespace tavrin::host::testing {

// The body of the reply to `method target`. Throws std::runtime_error naming
// the step that failed (connect, send, a reply that is not 200).
std::string httpRequest(int port, const std::string& method, const std::string& target);

// `text` with every byte outside A-Z a-z 0-9 - _ . ~ written as %XX.
std::string percentEncoded(const std::string& text);

}  // namespace tavrin::host::testing
