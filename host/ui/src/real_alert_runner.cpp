#include "real_alert_runner.h"

#include <strings.h>

#include <algorithm>
#include <optional>
#include <vector>

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "activation_guard.h"
#include "application.h"
#include "prompt_text.h"
#include "window/style.h"
#include "window/symbols.h"
#include "x11_prompt_hints.h"

namespace tavrin::host::ui {
namespace {

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The style's symbol in the style's colour, 40 points, sharp on screens of
// any density; an informational prompt shows the application's icon.
QPixmap iconFor(AlertStyle style, qreal pixelRatio) {
    constexpr int size = 40;
    QPixmap pixmap(QSize(size, size) * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, size, size);
    switch (style) {
        case AlertStyle::warning:
            paintSymbol(painter, "exclamationmark.triangle.fill", box, style::orange());
            break;
        case AlertStyle::critical:
            paintSymbol(painter, "exclamationmark.circle.fill", box, style::red());
            break;
        case AlertStyle::informational:
            paintAppIcon(painter, box.adjusted(2, 2, -2, -2));
            break;
    }
    return pixmap;
}

// QMessageBox has no place for an extra widget: put the field in its grid
// below the texts, above the buttons.
void placeBelowTexts(QMessageBox& box, QWidget* field) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    auto* buttons = box.findChild<QDialogButtonBox*>(QStringLiteral("qt_msgbox_buttonbox"));
    const int labelAt = grid && label ? grid->indexOf(label) : -1;
    const int buttonsAt = grid && buttons ? grid->indexOf(buttons) : -1;
    if (labelAt < 0 || buttonsAt < 0) {
        box.layout()->addWidget(field);
        return;
    }
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0, labelRow = 0, labelColumn = 0;
    grid->getItemPosition(labelAt, &labelRow, &labelColumn, &rowSpan, &columnSpan);
    grid->getItemPosition(buttonsAt, &row, &column, &rowSpan, &columnSpan);
    grid->removeWidget(buttons);
    grid->addWidget(field, row, labelColumn, 1, 1, Qt::AlignLeft);
    grid->addWidget(buttons, row + 1, column, rowSpan, columnSpan);
}

// Copies the field's text into a PIN (secret pages, wiped) and empties the field (which
// also drops its undo history) so that the widget holds no copy when it is
// destroyed. Qt's own transient copies are outside our reach.
Pin takeText(QLineEdit& field) {
    QString typed = field.text();
    field.setText(QString());
    QByteArray utf8 = typed.toUtf8();
    Pin secret(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    explicit_bzero(utf8.data(), static_cast<std::size_t>(utf8.size()));
    explicit_bzero(typed.data(), static_cast<std::size_t>(typed.size()) * sizeof(QChar));
    return secret;
}

// The box's title, icon, texts (rich text made of escaped pieces only: an
// origin is never markup) and buttons in the given order: the first is the default, the last
// answers Escape. One role for all keeps that order on every platform.
std::vector<QPushButton*> prepare(QMessageBox& box, const Alert& alert) {
    box.setWindowTitle(QStringLiteral("Tavrin Bridge"));
    box.setIconPixmap(iconFor(alert.style, box.devicePixelRatioF()));
    if (auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
        icon->setAccessibleName(QStringLiteral("Tavrin Bridge"));
    // A screen reader reads the words as written, without the line breaks
    // and break opportunities of the markup.
    box.setTextFormat(Qt::RichText);
    box.setText(promptMarkup(text(alert.messageText)));
    if (auto* message = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        message->setAccessibleName(text(alert.messageText));
    if (!alert.informativeText.empty()) {
        box.setInformativeText(promptMarkup(text(alert.informativeText)));
        if (auto* informative =
                box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
            informative->setTextFormat(Qt::RichText);
            informative->setAccessibleName(text(alert.informativeText));
        }
    }
    std::vector<QPushButton*> buttons;
    for (const std::string& title : alert.buttons)
        buttons.push_back(box.addButton(text(title), QMessageBox::ActionRole));
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
        if (buttons.size() > 1) box.setEscapeButton(buttons.back());
    }
    return buttons;
}

// How long a prompt waits for the focus before it asks for attention.
constexpr int focusWaitMilliseconds = 400;

// Above other windows (the window manager's "above" state), and mapped with
// the current server time as its user time so that focus-stealing
// prevention lets it to the front. Runs the event loop briefly: call it
// before anything can post an event that closes the box.
void prepareToTakeFront(QMessageBox& box) {
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setWindowModality(Qt::ApplicationModal);
    requestKeepAbove(box);
    freshenUserTime(box);
}

// In front and with the focus; a prompt that still did not get the focus
// asks for attention (urgency), which the desktop shows.
void present(QMessageBox& box) {
    box.show();
    box.raise();
    box.activateWindow();
    QTimer::singleShot(focusWaitMilliseconds, &box, [&box] {
        if (box.isVisible() && !box.isActiveWindow()) QApplication::alert(&box);
    });
}

// Lets the window server see a box go before the host carries on.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Keeps a notice without buttons on screen: neither Escape nor the window's
// close button ends it, only the host.
class OnlyTheHostCloses final : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Why an alert was not shown once abandon() has been called.
constexpr const char* abandonedReason = "the browser closed the connection";

}  // namespace

bool RealAlertRunner::admit(QMessageBox& box) {
    std::lock_guard lock(mutex_);
    if (abandoned_) return false;
    open_ = &box;
    return true;
}

void RealAlertRunner::withdraw() {
    std::lock_guard lock(mutex_);
    open_ = nullptr;
}

bool RealAlertRunner::abandoned() {
    std::lock_guard lock(mutex_);
    return abandoned_;
}

void RealAlertRunner::abandon() {
    // Under the lock: the box cannot be withdrawn, and so destroyed, while
    // the close is posted. A close that arrives after exec() has returned is
    // dropped with the box's other posted events.
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    if (open_ != nullptr) {
        QMessageBox* box = open_;
        QMetaObject::invokeMethod(
            box, [box] { box->done(0); }, Qt::QueuedConnection);
    }
}

AlertResponse RealAlertRunner::runAlert(const Alert& alert) {
    if (abandoned()) return AlertResponse::notShown(abandonedReason);
    if (std::string problem = ensureApplication(); !problem.empty()) {
        return AlertResponse::notShown(std::move(problem));
    }

    AlertResponse result;
    {
        QMessageBox box;
        const std::vector<QPushButton*> buttons = prepare(box, alert);
        prepareToTakeFront(box);
        QLineEdit* field = nullptr;
        if (alert.secureField) {
            field = new QLineEdit(&box);  // owned by the box
            field->setEchoMode(QLineEdit::Password);
            field->setAccessibleName(QStringLiteral("PIN"));
            field->setFixedSize(alert.secureField->width, alert.secureField->height);
            placeBelowTexts(box, field);
            field->setFocus(Qt::OtherFocusReason);
        }

        // A prompt with a choice answers its positive button only after a
        // calm second in the focus (see ActivationGuard).
        std::optional<ActivationGuard> guard;
        if (buttons.size() > 1) guard.emplace(box, *buttons.front());

        const bool admitted = admit(box);
        if (admitted) {
            present(box);
            if (field != nullptr) field->setFocus(Qt::ActiveWindowFocusReason);
            box.exec();
        }
        withdraw();
        QCoreApplication::removePostedEvents(&box);

        if (!admitted) result = AlertResponse::notShown(abandonedReason);
        // A box closed by abandon() has no clicked button: noButtonResponse.
        const auto clicked = std::find(buttons.begin(), buttons.end(), box.clickedButton());
        if (clicked != buttons.end()) {
            result.response = firstButtonResponse + static_cast<int>(clicked - buttons.begin());
        }
        if (field != nullptr) result.fieldText = takeText(*field);
        box.hide();
    }
    // Let the window server see the alert go before the host waits for the
    // next request.
    settle();
    return result;
}

AlertResponse RealAlertRunner::runWaitNotice(const Alert& alert, NoticeControl& control) {
    if (abandoned()) {
        control.markCancelled();
        control.reportShown(false);
        return AlertResponse::notShown(abandonedReason);
    }
    if (std::string problem = ensureApplication(); !problem.empty()) {
        control.reportShown(false);
        return AlertResponse::notShown(std::move(problem));
    }

    AlertResponse result;
    {
        QMessageBox box;
        const std::vector<QPushButton*> buttons = prepare(box, alert);
        // Wide enough that an origin is not broken across lines.
        box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel{min-width: 380px;}"));
        // Without buttons of its own a box would add an OK button.
        std::optional<OnlyTheHostCloses> keep;
        if (buttons.empty()) {
            box.setStandardButtons(QMessageBox::NoButton);
            keep.emplace();
            box.installEventFilter(&*keep);
        } else {
            box.setEscapeButton(buttons.back());
        }
        prepareToTakeFront(box);
        // The waiting thread closes the box through the event queue.
        const bool admitted = admit(box);
        const bool wanted = admitted && control.attach([&box] {
            QMetaObject::invokeMethod(
                &box, [&box] { box.done(0); }, Qt::QueuedConnection);
        });
        if (wanted) {
            present(box);
            control.reportShown(true);
            box.exec();
        }
        control.detach();
        withdraw();
        // Drops a close that was queued but came too late to matter.
        QCoreApplication::removePostedEvents(&box);
        // Abandoned while shown or before: the core must stop waiting.
        if (abandoned()) control.markCancelled();
        if (!admitted) result = AlertResponse::notShown(abandonedReason);
        const auto clicked = std::find(buttons.begin(), buttons.end(), box.clickedButton());
        if (clicked != buttons.end()) {
            result.response = firstButtonResponse + static_cast<int>(clicked - buttons.begin());
        }
        box.hide();
    }
    settle();
    return result;
}

}  // namespace tavrin::host::ui
