#pragma once
// Decoding the core's answer to "status" for the management window.

#include <cstdint>
#include <optional>
#include <span>

#include "ui_interface/host_status.h"

namespace tavrin::host {

// From the reply bytes: an object with an object "result", else nothing.
// Text fields that are not strings become "?"; a "backends" that is not a
// list of strings becomes empty; issues lacking "module" or "issue" are
// skipped; "buildInfo" needs both "gitSha" and "date".
std::optional<HostStatus> decodeHostStatus(std::span<const std::uint8_t> reply);

}  // namespace tavrin::host
