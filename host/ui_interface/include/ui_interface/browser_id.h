#pragma once
// The browsers the program registers its native-messaging host with.

namespace tavrin::host {

enum class NativeMessagingBrowser {
    chrome,
    edge,
    firefox,
    chromeBeta,
    chromeDev,
    chromeCanary,
    edgeBeta,
    edgeDev,
    edgeCanary,
    // Further Linux browsers, listed in the window once the user has run
    // them (their profile folder exists).
    chromium,
    brave,
    vivaldi,
    chromiumSnap,
    firefoxSnap,
    chromiumFlatpak,
    chromeFlatpak,
    braveFlatpak,
    edgeFlatpak,
    vivaldiFlatpak,
    firefoxFlatpak,
};

}  // namespace tavrin::host
