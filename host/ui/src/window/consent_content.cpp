#include "window/consent_content.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "czech_typography.h"
#include "window/style.h"
#include "window/symbols.h"

namespace tavrin::host::ui {
namespace {

QString purposeName(const std::string& purpose) {
    if (purpose == "sign") return QStringLiteral("podepisování");
    if (purpose == "auth") return QStringLiteral("přihlašování");
    return style::text(purpose);
}

QWidget* emptyState(QWidget* parent) {
    auto* widget = new QWidget(parent);
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 10, 0, 10);
    column->setSpacing(6);
    column->addWidget(new SymbolView("hand.raised.slash", 22, style::secondary(), widget), 0,
                      Qt::AlignHCenter);
    auto* label = new QLabel(QStringLiteral("Zatím žádné udělené souhlasy."), widget);
    label->setFont(style::font(12.5));
    style::setTextColour(*label, style::secondary());
    column->addWidget(label, 0, Qt::AlignHCenter);
    return widget;
}

}  // namespace

QString grantCaption(const ConsentGrant& grant) {
    QStringList names;
    for (const std::string& purpose : grant.purposes)
        names << purposeName(purpose);
    // In the user's time zone, in Czech form whatever the process locale
    // ("6. 12. 2025 5:46"): the window is Czech throughout. Only digits are
    // formatted, so the C locale's names never show.
    const QDateTime granted =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(grant.grantedAtUnix), Qt::LocalTime);
    return names.join(QStringLiteral(", ")) + QStringLiteral(" · ") +
           QLocale::c().toString(granted, QStringLiteral("d. M. yyyy H:mm"));
}

ConsentContent::ConsentContent(ManagementModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    auto* intro = new QLabel(
        bindOneLetterWords(QStringLiteral(
            "Weby, kterým jste povolili přístup k certifikátům. Souhlas lze kdykoli odvolat.")),
        this);
    intro->setFont(style::font(12));
    intro->setWordWrap(true);
    style::setTextColour(*intro, style::secondary());
    column->addWidget(intro);

    list_ = new QWidget(this);
    auto* rows = new QVBoxLayout(list_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(8);
    column->addWidget(list_);

    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("revokeError"));
    error_->setFont(style::font(style::captionPoints));
    error_->setWordWrap(true);
    error_->setTextFormat(Qt::PlainText);
    style::setTextColour(*error_, style::red());
    error_->setVisible(false);
    column->addWidget(error_);

    showGrants(model_.grants());
}

void ConsentContent::showGrants(const std::vector<ConsentGrant>& grants) {
    auto* rows = static_cast<QVBoxLayout*>(list_->layout());
    // The button being clicked may be in one of these rows: delete later.
    while (QLayoutItem* item = rows->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    if (grants.empty()) {
        rows->addWidget(emptyState(list_));
        return;
    }
    for (const ConsentGrant& grant : grants) {
        auto* row = new QWidget(list_);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto* origin = new QLabel(style::text(grant.origin), row);
        origin->setTextFormat(Qt::PlainText);
        origin->setFont(style::font(13, style::Weight::medium));
        origin->setWordWrap(true);
        auto* caption = new QLabel(grantCaption(grant), row);
        caption->setTextFormat(Qt::PlainText);
        caption->setFont(style::font(style::captionPoints));
        caption->setWordWrap(true);
        style::setTextColour(*caption, style::secondary());
        texts->addWidget(origin);
        texts->addWidget(caption);
        layout->addLayout(texts, 1);
        auto* button = new QPushButton(QStringLiteral("Odvolat"), row);
        button->setAccessibleName(QStringLiteral("Odvolat ") + style::text(grant.origin));
        style::setTextColour(*button, style::red());
        connect(button, &QPushButton::clicked, this,
                [this, origin = grant.origin] { revoke(origin); });
        layout->addWidget(button, 0, Qt::AlignVCenter);
        rows->addWidget(row);
    }
}

void ConsentContent::revoke(const std::string& origin) {
    if (const auto failure = model_.revoke(origin)) {
        error_->setText(bindOneLetterWords(QStringLiteral("Souhlas se nepodařilo odvolat: ") +
                                           style::text(*failure)));
        error_->setVisible(true);
        return;
    }
    error_->clear();
    error_->setVisible(false);
    showGrants(model_.grants());
}

}  // namespace tavrin::host::ui
