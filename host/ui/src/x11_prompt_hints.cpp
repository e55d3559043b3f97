#include "x11_prompt_hints.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include <QAbstractNativeEventFilter>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QWidget>

namespace tavrin::host::ui {
namespace {

// Notes when the server's answer to our property change arrives; Qt handles
// the event itself right after (the filter lets it through).
class PropertyNoticeWatch final : public QAbstractNativeEventFilter {
  public:
    PropertyNoticeWatch(xcb_window_t window, xcb_atom_t atom) : window_(window), atom_(atom) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (notify->window == window_ && notify->atom == atom_) seen = true;
        return false;
    }

    bool seen = false;

  private:
    xcb_window_t window_;
    xcb_atom_t atom_;
};

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    if (reply == nullptr) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

void freshenUserTime(QWidget& window) {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t atom = internAtom(connection, "_TAVRIN_BRIDGE_TIMESTAMP");
    if (atom == XCB_ATOM_NONE) return;

    PropertyNoticeWatch watch(id, atom);
    qGuiApp->installNativeEventFilter(&watch);
    // Appending nothing changes nothing but still yields the notice.
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, atom, XCB_ATOM_INTEGER, 32, 0,
                        nullptr);
    xcb_flush(connection);
    const QDeadlineTimer deadline(500);
    while (!watch.seen && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    qGuiApp->removeNativeEventFilter(&watch);
    xcb_delete_property(connection, id, atom);
    xcb_flush(connection);
}

void requestKeepAbove(QWidget& window) {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t above = internAtom(connection, "_NET_WM_STATE_ABOVE");
    if (state == XCB_ATOM_NONE || above == XCB_ATOM_NONE) return;
    // Qt keeps states it finds on the window when it adds its own at map.
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &above);
    xcb_flush(connection);
}

}  // namespace tavrin::host::ui
