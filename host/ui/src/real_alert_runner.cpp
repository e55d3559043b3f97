#include "real_alert_runner.h"

#include <strings.h>

#include <algorithm>
#include <optional>
#include <vector>

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "activation_guard.h"
#include "application.h"

namespace tavrin::host::ui {
namespace {

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QMessageBox::Icon iconFor(AlertStyle style) {
    switch (style) {
        case AlertStyle::warning:
            return QMessageBox::Warning;
        case AlertStyle::critical:
            return QMessageBox::Critical;
        case AlertStyle::informational:
            break;
    }
    return QMessageBox::Information;
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

// Copies the field's text into a wiped buffer and empties the field (which
// also drops its undo history) so that the widget holds no copy when it is
// destroyed. Qt's own transient copies are outside our reach.
SecretText takeText(QLineEdit& field) {
    QString typed = field.text();
    field.setText(QString());
    QByteArray utf8 = typed.toUtf8();
    SecretText secret(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    explicit_bzero(utf8.data(), static_cast<std::size_t>(utf8.size()));
    explicit_bzero(typed.data(), static_cast<std::size_t>(typed.size()) * sizeof(QChar));
    return secret;
}

}  // namespace

AlertResponse RealAlertRunner::runAlert(const Alert& alert) {
    if (std::string problem = ensureApplication(); !problem.empty()) {
        return AlertResponse::notShown(std::move(problem));
    }

    AlertResponse result;
    {
        QMessageBox box;
        box.setWindowTitle(QStringLiteral("Tavrin Bridge"));
        box.setIcon(iconFor(alert.style));
        // An origin is shown as it is, never interpreted as markup.
        box.setTextFormat(Qt::PlainText);
        box.setText(text(alert.messageText));
        if (!alert.informativeText.empty()) {
            box.setInformativeText(text(alert.informativeText));
            if (auto* informative =
                    box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
                informative->setTextFormat(Qt::PlainText);
            }
        }
        // One role for all keeps the buttons in the given order on every
        // platform layout; the first is the default, the last answers Escape.
        std::vector<QPushButton*> buttons;
        for (const std::string& title : alert.buttons)
            buttons.push_back(box.addButton(text(title), QMessageBox::ActionRole));
        if (!buttons.empty()) {
            box.setDefaultButton(buttons.front());
            if (buttons.size() > 1) box.setEscapeButton(buttons.back());
        }

        QLineEdit* field = nullptr;
        if (alert.secureField) {
            field = new QLineEdit(&box);  // owned by the box
            field->setEchoMode(QLineEdit::Password);
            field->setFixedSize(alert.secureField->width, alert.secureField->height);
            placeBelowTexts(box, field);
            field->setFocus(Qt::OtherFocusReason);
        }

        // A prompt with a choice answers its positive button only after a
        // calm second in the focus (see ActivationGuard).
        std::optional<ActivationGuard> guard;
        if (buttons.size() > 1) guard.emplace(box, *buttons.front());

        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        box.raise();
        box.activateWindow();
        if (field != nullptr) field->setFocus(Qt::ActiveWindowFocusReason);
        box.exec();

        const auto clicked = std::find(buttons.begin(), buttons.end(), box.clickedButton());
        if (clicked != buttons.end()) {
            result.response = alertFirstButtonReturn + static_cast<int>(clicked - buttons.begin());
        }
        if (field != nullptr) result.fieldText = takeText(*field);
        box.hide();
    }
    // Let the window server see the alert go before the host waits for the
    // next request.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return result;
}

}  // namespace tavrin::host::ui
