#include "application.h"

#include <xcb/xcb.h>

#include <clocale>
#include <cstdlib>

#include <QApplication>

namespace tavrin::host::ui {
namespace {

// A connection to the X server named by DISPLAY, or the reason there is none.
struct X11Probe {
    xcb_connection_t* connection = nullptr;
    std::string problem;

    X11Probe() {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            problem = "no display: DISPLAY is not set";
            return;
        }
        int screen = 0;
        connection = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(connection) != 0) {
            problem = std::string("cannot open the display ") + display;
        }
    }
    ~X11Probe() {
        if (connection != nullptr) xcb_disconnect(connection);
    }
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;
};

}  // namespace

std::string ensureApplication() {
    if (QApplication::instance() != nullptr) return {};
    // Kept open until Qt has connected: a server whose last client leaves
    // may reset, and refuse Qt's connection while it does.
    const X11Probe probe;
    if (!probe.problem.empty()) return probe.problem;

    // QApplication keeps references to both; they must outlive it. The
    // option overrides QT_QPA_PLATFORM.
    static char program[] = "tavrin-bridge";
    static char platformOption[] = "-platform";
    static char platform[] = "xcb";
    static char* arguments[] = {program, platformOption, platform, nullptr};
    static int count = 3;
    new QApplication(count, arguments);  // lives on as QApplication::instance()
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tavrin Bridge"));
    // Qt adopts the user's locale for the whole process; the rest of the host
    // formats and parses numbers in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    return {};
}

}  // namespace tavrin::host::ui
