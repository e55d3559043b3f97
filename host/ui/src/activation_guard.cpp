#include "activation_guard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace tavrin::host::ui {

ActivationGuard::ActivationGuard(QWidget& dialog, QAbstractButton& positive)
    : dialog_(dialog), positive_(positive) {
    timer_.setSingleShot(true);
    timer_.setInterval(guardMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { armed_ = dialog_.isVisible() && dialog_.isActiveWindow(); });
    // Key presses go to whichever widget has the focus, clicks to the widget
    // under the pointer: watching the application sees them all first.
    qApp->installEventFilter(this);
    if (dialog_.isActiveWindow()) restart();
}

ActivationGuard::~ActivationGuard() {
    qApp->removeEventFilter(this);
}

void ActivationGuard::restart() {
    armed_ = false;
    timer_.start();
}

void ActivationGuard::disarm() {
    armed_ = false;
    timer_.stop();
}

// Return and Enter answer with the default button wherever the focus is in
// the prompt; space and clicks only on the button itself.
bool ActivationGuard::activatesPositive(QObject* watched, QEvent* event) const {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
            return watched == &positive_ && (key == Qt::Key_Space || key == Qt::Key_Select);
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return watched == &positive_;
        default:
            return false;
    }
}

bool ActivationGuard::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != &dialog_) return false;
    switch (event->type()) {
        case QEvent::WindowActivate:
            if (widget == &dialog_) restart();
            return false;
        case QEvent::WindowDeactivate:
        case QEvent::Hide:
            if (widget == &dialog_) disarm();
            return false;
        default:
            break;
    }
    if (armed_) return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress ||
        type == QEvent::MouseButtonDblClick) {
        // Input that arrives while guarded was likely meant for something
        // else: the second starts again.
        if (dialog_.isActiveWindow()) restart();
    }
    return activatesPositive(watched, event);
}

}  // namespace tavrin::host::ui
