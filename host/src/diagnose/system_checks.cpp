// The program, the desktop session and the card service.

#include <dlfcn.h>

#include <cstdlib>
#include <string_view>
#include <system_error>

#include "bridge/dispatcher_bridge.h"
#include "browser/native_messaging_browser.h"
#include "diagnose/diagnostic_checks.h"
#include "diagnose/socket_probe.h"
#include "management/host_status.h"
#include "ui_module/ui_module_loader.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

fs::path executable() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self;
}

// Opens the user-interface module and asks its version without making its
// instance (a version no module has), so that Qt is not started.
DiagnosticItem uiModuleItem(const fs::path& executableDir) {
    DiagnosticItem item{"user-interface module"};
    const auto candidates = UiModuleLoader::candidates(executableDir);
    const fs::path* found = nullptr;
    for (const fs::path& path : candidates) {
        std::error_code ignored;
        if (fs::is_regular_file(path, ignored)) {
            found = &path;
            break;
        }
    }
    const std::string todo =
        "Reinstall tavrin-bridge: without this module no consent, PIN or signature prompt can "
        "be shown.";
    if (found == nullptr) {
        item.fact("path", candidates.front().string());
        item.fact("loads", false);
        item.problem(std::string(UiModuleLoader::moduleFileName) +
                         " is not beside the program "
                         "nor in its library folder",
                     todo);
        return item;
    }
    item.fact("path", found->string());
    void* library = ::dlopen(found->c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        item.fact("loads", false);
        item.problem(std::string("it cannot be loaded: ") + (why ? why : "unknown error"), todo);
        return item;
    }
    auto factory =
        reinterpret_cast<TavrinUiCreate>(::dlsym(library, TAVRIN_BRIDGE_UI_ENTRY));
    if (factory == nullptr) {
        item.fact("loads", false);
        item.problem("it is not this program's user-interface module", todo);
        return item;
    }
    std::uint32_t version = 0;
    (void)factory(0, &version);
    item.fact("interfaceVersion", version);
    item.fact("loads", version == uiModuleInterfaceVersion);
    if (version != uiModuleInterfaceVersion) {
        item.problem("it has interface version " + std::to_string(version) +
                         ", this program needs version " + std::to_string(uiModuleInterfaceVersion),
                     "Reinstall tavrin-bridge so that the program and its modules come from one "
                     "build.");
    }
    return item;
}

// "[host]:display[.screen]": empty host or "unix" is the local socket.
DiagnosticItem displayItem() {
    DiagnosticItem item{"X11 display"};
    const std::string display = environment("DISPLAY");
    item.fact("display", display.empty() ? "(not set)" : display);
    const std::string todo =
        "Start the browser from a graphical session with DISPLAY set (on Wayland, with XWayland); "
        "prompts appear on that display.";
    const auto colon = display.rfind(':');
    if (display.empty() || colon == std::string::npos) {
        item.fact("reachable", false);
        item.problem("no X11 display is named, so no prompt can be shown", todo);
        return item;
    }
    const std::string host = display.substr(0, colon);
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    int screen = -1;
    try {
        screen = std::stoi(number);
    } catch (...) {
    }
    std::string failure;
    if (screen < 0) {
        failure = "the display number is not valid";
    } else if (host.empty() || host == "unix") {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(screen);
        failure = connectUnixSocket(socket);
        if (!failure.empty() && connectUnixSocket("@" + socket).empty()) failure.clear();
    } else {
        failure = connectTcp(host, 6000 + screen, std::chrono::milliseconds(2000));
    }
    item.fact("reachable", failure.empty());
    if (!failure.empty())
        item.problem("the display " + display + " does not answer: " + failure, todo);
    return item;
}

}  // namespace

DiagnosticSection diagnoseProgram(DiagnosticItem storeModule) {
    DiagnosticSection section{"program", "Program", {}};
    DiagnosticItem program{"tavrin-bridge"};
    constexpr std::string_view request = R"({"id":"diagnose","method":"status","params":{}})";
    const std::vector<std::uint8_t> reply = NativeBridge::dispatch(
        std::span(reinterpret_cast<const std::uint8_t*>(request.data()), request.size()));
    if (const auto status = decodeHostStatus(reply)) {
        program.fact("version", status->version);
        program.fact("protocolVersion", status->protocolVersion);
        if (status->buildInfo) {
            program.fact("commit", status->buildInfo->gitSha);
            program.fact("buildDate", status->buildInfo->date);
        }
    }
    const fs::path self = executable();
    program.fact("executable", self.string());
    section.items.push_back(program);
    section.items.push_back(std::move(storeModule));
    section.items.push_back(uiModuleItem(self.parent_path()));
    return section;
}

DiagnosticSection diagnoseDesktopSession(const AppPaths& paths) {
    DiagnosticSection section{"desktopSession", "Desktop session", {}};
    DiagnosticItem session{"session"};
    const std::string type = environment("XDG_SESSION_TYPE");
    const bool wayland = type == "wayland" || !environment("WAYLAND_DISPLAY").empty();
    session.fact("type", wayland ? "Wayland"
                         : type == "x11" || !environment("DISPLAY").empty()
                             ? "X11"
                             : (type.empty() ? "none" : type));
    if (wayland) session.note("prompts open through XWayland, on the display named by DISPLAY");
    section.items.push_back(session);
    section.items.push_back(displayItem());

    // A snap Firefox starts native hosts only through the desktop portal.
    std::error_code ignored;
    if (fs::is_directory(paths.home() / "snap/firefox", ignored)) {
        DiagnosticItem portal{"desktop portal (for Firefox from snap)"};
        const bool present = fs::exists(
            "/usr/share/dbus-1/services/org.freedesktop.portal.Desktop.service", ignored);
        portal.fact("present", present);
        if (!present) {
            portal.problem(
                "Firefox from snap is installed, but the desktop portal is not",
                "Install xdg-desktop-portal with a backend (e.g. xdg-desktop-portal-gtk), "
                "or use Firefox from a Debian package.");
        }
        section.items.push_back(portal);
    }
    return section;
}

DiagnosticItem diagnosePcscService() {
    DiagnosticItem item{"PC/SC service (pcscd)"};
    std::string socket = environment("PCSCLITE_CSOCK_NAME");
    if (socket.empty()) socket = "/run/pcscd/pcscd.comm";
    item.fact("socket", socket);
    const std::string failure = connectUnixSocket(socket);
    item.fact("answers", failure.empty());
    if (!failure.empty()) {
        item.problem("the card service does not answer on " + socket + ": " + failure,
                     "Install and start pcscd (apt install pcscd; it starts on demand through "
                     "its socket) so that card readers are seen.");
    }
    return item;
}

}  // namespace tavrin::host
