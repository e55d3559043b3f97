#pragma once
// Fixed names the browsers and the file system know this program by.

#include <array>
#include <string_view>

namespace tavrin::host {

// The native-messaging host name: the manifest's "name", the manifest file's
// stem and the name of the application's data folder.
inline constexpr std::string_view NativeHostName = "cz.tavrin.bridge";

// The project's own extension in each store.
inline constexpr std::string_view FirefoxAddonID = "bridge@tavrin.cz";
inline constexpr std::array<std::string_view, 2> ChromeExtensionIDs = {
    "jigokomhlkbkpcgkinakfomodbijdcpi", "mjoobkgcfnnckjkpfghdaegipnkhdide"};
inline constexpr std::array<std::string_view, 1> EdgeExtensionIDs = {
    "ljhglnahnbegoikbdimiodbpkjgjcahi"};

}  // namespace tavrin::host
