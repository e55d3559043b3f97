#include "application.h"

#include <xcb/xcb.h>

#include <clocale>
#include <cstdio>
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

// Standard error is the host's diagnostic channel: Qt's remarks about the
// environment (no runtime folder, a platform that ignores a size hint) would
// read there as the host's failures. Only Qt's own failures are kept.
void keepQuietUnlessFailing(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "tavrin-bridge: Qt: %s\n", qPrintable(message));
}

// The one QApplication on `platform` ("xcb" or "offscreen"), which lives on
// as QApplication::instance().
void createApplication(const char* platform) {
    // QApplication keeps references to the count and the arguments; they
    // must outlive it. The option overrides QT_QPA_PLATFORM.
    static char program[] = "tavrin-bridge";
    static char platformOption[] = "-platform";
    static char platformName[16] = {};
    std::snprintf(platformName, sizeof platformName, "%s", platform);
    static char* arguments[] = {program, platformOption, platformName, nullptr};
    static int count = 3;
    qInstallMessageHandler(keepQuietUnlessFailing);
    new QApplication(count, arguments);
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tavrin Bridge"));
    // Qt adopts the user's locale for the whole process; the rest of the host
    // formats and parses numbers in the C locale.
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace

std::string ensureApplication() {
    if (QApplication::instance() != nullptr) {
        if (QGuiApplication::platformName() == QStringLiteral("xcb")) return {};
        return "no display: Qt runs without a screen in this process";
    }
    // Kept open until Qt has connected: a server whose last client leaves
    // may reset, and refuse Qt's connection while it does.
    const X11Probe probe;
    if (!probe.problem.empty()) return probe.problem;
    createApplication("xcb");
    return {};
}

std::string ensureOffscreenApplication() {
    if (QApplication::instance() != nullptr) {
        if (QGuiApplication::platformName() == QStringLiteral("offscreen")) return {};
        return "Qt already runs on the " + QGuiApplication::platformName().toStdString() +
               " platform in this process";
    }
    createApplication("offscreen");
    return {};
}

}  // namespace tavrin::host::ui
