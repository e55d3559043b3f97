#pragma once
// Random (version 4) UUIDs in their 36-character text form.

#include <string>

namespace tavrin::host {

// E.g. "3f1c9a2e-6b7d-4e0f-9a21-5c8d7e6f4b3a", lower-case hexadecimal.
std::string randomUuidText();

}  // namespace tavrin::host
