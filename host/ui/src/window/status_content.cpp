#include "window/status_content.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "window/style.h"

namespace tavrin::host::ui {
namespace {

// The identity store of this platform, by its Czech name: on Linux the NSS
// database with the smart cards and tokens registered in it or with p11-kit.
const QString kIdentityStore = QStringLiteral("Úložiště NSS a čipové karty");

// The signing methods by name; the identity store's wire name is shown as
// the store's Czech name.
QString joined(const std::vector<std::string>& items) {
    QStringList texts;
    for (const std::string& item : items)
        texts << (item == "keychain" ? kIdentityStore : style::text(item));
    return texts.join(QStringLiteral(", "));
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette colours = line->palette();
    colours.setColor(QPalette::Window, style::hairline());
    line->setPalette(colours);
    return line;
}

// A label on the left, the value on the right; the value can be selected.
QWidget* row(const QString& label, const QString& value, QWidget* parent) {
    auto* widget = new QWidget(parent);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 7, 0, 7);
    auto* name = new QLabel(label, widget);
    name->setFont(style::font(13));
    style::setTextColour(*name, style::secondary());
    auto* shown = new QLabel(value, widget);
    shown->setFont(style::font(13, style::Weight::medium));
    shown->setTextFormat(Qt::PlainText);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    shown->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    shown->setWordWrap(true);
    layout->addWidget(name, 0, Qt::AlignTop);
    layout->addStretch();
    layout->addWidget(shown, 1);
    return widget;
}

}  // namespace

StatusContent::StatusContent(const std::optional<HostStatus>& status, QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    if (!status) {
        auto* failed = new QLabel(QStringLiteral("Stav se nepodařilo načíst."), this);
        failed->setFont(style::font(13));
        style::setTextColour(*failed, style::secondary());
        column->addWidget(failed);
        return;
    }

    const QString platform =
        status->platform == "macos" ? QStringLiteral("macOS") : style::text(status->platform);
    const QString methods = status->backends.empty() ? kIdentityStore : joined(status->backends);
    column->addWidget(row(QStringLiteral("Verze"), style::text(status->version), this));
    column->addWidget(divider(this));
    column->addWidget(row(QStringLiteral("Platforma"), platform, this));
    column->addWidget(divider(this));
    column->addWidget(row(QStringLiteral("Podpisové metody"), methods, this));
    column->addWidget(divider(this));
    // Each token module that does not load, with the loader's reason.
    for (const HostStatus::MiddlewareIssue& issue : status->middlewareIssues) {
        column->addWidget(
            row(QStringLiteral("Modul „%1“ se nenačetl").arg(style::text(issue.module)),
                style::text(issue.issue), this));
        column->addWidget(divider(this));
    }

    auto* disclosure = new QToolButton(this);
    disclosure->setObjectName(QStringLiteral("statusAdvanced"));
    disclosure->setText(QStringLiteral("Pokročilé"));
    disclosure->setFont(style::font(12.5));
    disclosure->setCheckable(true);
    disclosure->setChecked(false);
    disclosure->setArrowType(Qt::RightArrow);
    disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    disclosure->setAutoRaise(true);
    column->addSpacing(4);
    column->addWidget(disclosure, 0, Qt::AlignLeft);

    auto* advanced = new QWidget(this);
    auto* advancedRows = new QVBoxLayout(advanced);
    advancedRows->setContentsMargins(0, 0, 0, 0);
    advancedRows->setSpacing(0);
    const QString build =
        status->buildInfo ? style::text(status->buildInfo->gitSha + " · " + status->buildInfo->date)
                          : QStringLiteral("neznámý");
    advancedRows->addWidget(
        row(QStringLiteral("Protokol"), style::text(status->protocolVersion), advanced));
    advancedRows->addWidget(divider(advanced));
    advancedRows->addWidget(row(QStringLiteral("Sestavení (pro podporu)"), build, advanced));
    if (!status->certificateDatabase.empty()) {
        advancedRows->addWidget(divider(advanced));
        advancedRows->addWidget(row(QStringLiteral("Databáze certifikátů"),
                                    style::text(status->certificateDatabase), advanced));
    }
    advanced->setVisible(false);
    column->addWidget(advanced);

    connect(disclosure, &QToolButton::toggled, advanced, [disclosure, advanced](bool open) {
        disclosure->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        advanced->setVisible(open);
    });
}

}  // namespace tavrin::host::ui
