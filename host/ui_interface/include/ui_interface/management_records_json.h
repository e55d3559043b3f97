#pragma once
// The management window's records as the JSON bytes that cross the C
// boundary (ui_module_abi.h): the host encodes, the module decodes, each with
// its own compiled copy of this codec. Decoding expects what encoding
// writes and throws on anything else; the caller catches.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ui_interface/browsers_presentation.h"
#include "ui_interface/consent_grant.h"
#include "ui_interface/host_status.h"
#include "ui_interface/readers_and_cards.h"

namespace tavrin::host::records {

// Texts a decoded BrowsersPresentation views (its symbols, banner and
// section titles): kept by the decoder's caller as long as the records.
using KeptTexts = std::set<std::string, std::less<>>;

std::string encodeStatus(const std::optional<HostStatus>& status);
std::optional<HostStatus> decodeStatus(std::string_view json);

std::string encodeGrants(const std::vector<ConsentGrant>& grants);
std::vector<ConsentGrant> decodeGrants(std::string_view json);

std::string encodeBrowsers(const BrowsersPresentation& browsers);
BrowsersPresentation decodeBrowsers(std::string_view json, KeptTexts& texts);

std::string encodeReaders(const ReadersAndCards& readers);
ReadersAndCards decodeReaders(std::string_view json);

}  // namespace tavrin::host::records
