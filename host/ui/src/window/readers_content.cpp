#include "window/readers_content.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "czech_typography.h"
#include "window/style.h"
#include "window/symbols.h"
#include "window/wrapping_text.h"

namespace tavrin::host::ui {
namespace {

constexpr int symbolSize = 17;
constexpr int spacing = 8;

QLabel* caption(const QString& text, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(bindOneLetterWords(text), parent);
    label->setFont(style::font(11.5));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    style::setTextColour(*label, colour);
    return label;
}

// A symbol, a name and a state on one line; the details below, indented to
// the name. The browsers card lays out its rows the same way.
struct Row {
    QWidget* widget;
    QVBoxLayout* column;

    Row(std::string_view symbol, const QColor& colour, const QString& name, const QString& state,
        QWidget* parent)
        : widget(new QWidget(parent)), column(new QVBoxLayout(widget)) {
        column->setContentsMargins(0, 3, 0, 3);
        column->setSpacing(3);
        auto* line = new QHBoxLayout;
        line->setSpacing(spacing);
        line->addWidget(new SymbolView(symbol, symbolSize, colour, widget), 0, Qt::AlignTop);
        auto* shownName = new QLabel(name, widget);
        shownName->setFont(style::font(13, style::Weight::medium));
        shownName->setTextFormat(Qt::PlainText);
        shownName->setWordWrap(true);
        line->addWidget(shownName, 1);
        if (!state.isEmpty()) {
            auto* shownState = new QLabel(state, widget);
            shownState->setFont(style::font(12.5));
            style::setTextColour(*shownState, style::secondary());
            line->addWidget(shownState, 0, Qt::AlignTop);
        }
        column->addLayout(line);
    }

    void detail(QWidget* shown) {
        auto* line = new QHBoxLayout;
        line->addSpacing(symbolSize + spacing);
        line->addWidget(shown, 1);
        column->addLayout(line);
    }
};

QString quoted(const std::string& text) {
    return QStringLiteral("„%1“").arg(style::text(text));
}

QString cardLine(const ReadersAndCards::Card& card) {
    const QString name = card.label.empty() ? QStringLiteral("Karta bez názvu")
                                            : QStringLiteral("Karta %1").arg(quoted(card.label));
    if (!card.initialized) return name + QStringLiteral(" · prázdná, bez identit");
    return name + QStringLiteral(" · identity pro podepisování: %1, pro přihlašování: %2")
                      .arg(card.signingIdentities)
                      .arg(card.authenticationIdentities);
}

QWidget* readerRow(const ReadersAndCards::Reader& reader, QWidget* parent) {
    const bool hasCard = reader.card.has_value();
    Row row(hasCard ? "creditcard" : "circle.dashed", hasCard ? style::green() : style::secondary(),
            style::text(reader.name),
            reader.error.empty()
                ? (hasCard ? QStringLiteral("Karta vložena") : QStringLiteral("Bez karty"))
                : QString(),
            parent);
    if (!reader.error.empty()) {
        row.detail(caption(
            QStringLiteral("Čtečku se nepodařilo přečíst: %1").arg(style::text(reader.error)),
            style::orange(), row.widget));
        return row.widget;
    }
    if (reader.card) {
        const ReadersAndCards::Card& card = *reader.card;
        row.detail(caption(cardLine(card), style::secondary(), row.widget));
        if (!card.error.empty())
            row.detail(caption(
                QStringLiteral("Kartu se nepodařilo přečíst: %1").arg(style::text(card.error)),
                style::orange(), row.widget));
        if (card.pinLocked)
            row.detail(
                caption(QStringLiteral("PIN karty je zablokovaný; odblokujte jej kódem PUK."),
                        style::orange(), row.widget));
    }
    if (reader.pinPad) {
        row.detail(caption(*reader.pinPad
                               ? QStringLiteral("PIN se zadává na klávesnici čtečky")
                               : QStringLiteral("Bez klávesnice pro PIN: PIN se zadává v počítači"),
                           style::secondary(), row.widget));
    }
    return row.widget;
}

QWidget* moduleIssueRow(const HostStatus::MiddlewareIssue& issue, QWidget* parent) {
    Row row("exclamationmark.triangle.fill", style::orange(),
            QStringLiteral("Modul %1 se nenačetl").arg(quoted(issue.module)), QString(), parent);
    row.detail(new WrappingText(style::text(issue.issue), style::monospaced(11), style::secondary(),
                                row.widget));
    return row.widget;
}

QWidget* emptyState(QWidget* parent) {
    auto* widget = new QWidget(parent);
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 6, 0, 6);
    column->setSpacing(6);
    column->addWidget(new SymbolView("creditcard", 22, style::secondary(), widget), 0,
                      Qt::AlignHCenter);
    auto* label = new QLabel(QStringLiteral("Žádná čtečka nenalezena"), widget);
    label->setFont(style::font(12.5));
    style::setTextColour(*label, style::secondary());
    column->addWidget(label, 0, Qt::AlignHCenter);
    return widget;
}

}  // namespace

ReadersContent::ReadersContent(ManagementModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    const ReadersAndCards shown = model_.readersAndCards();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    auto* intro = new QLabel(
        bindOneLetterWords(QStringLiteral(
            "Čtečky a karty, které hlásí moduly čipových karet, a moduly, které se nenačetly.")),
        this);
    intro->setFont(style::font(12));
    intro->setWordWrap(true);
    style::setTextColour(*intro, style::secondary());
    column->addWidget(intro);

    if (shown.cardServiceAnswers == false) {
        column->addWidget(caption(
            QStringLiteral("Služba čipových karet (pcscd) neodpovídá, fyzické čtečky proto nejsou "
                           "vidět. Nainstalujte balíček pcscd."),
            style::orange(), this));
    }

    auto* rows = new QVBoxLayout;
    rows->setSpacing(2);
    if (shown.readers.empty()) rows->addWidget(emptyState(this));
    for (const ReadersAndCards::Reader& reader : shown.readers)
        rows->addWidget(readerRow(reader, this));
    for (const HostStatus::MiddlewareIssue& issue : shown.moduleIssues)
        rows->addWidget(moduleIssueRow(issue, this));
    column->addLayout(rows);

    auto* copy = new QPushButton(QStringLiteral("Kopírovat diagnostiku"), this);
    copy->setObjectName(QStringLiteral("copyDiagnostics"));
    connect(copy, &QPushButton::clicked, this, [this] { copyReport(); });
    column->addSpacing(2);
    column->addWidget(copy, 0, Qt::AlignLeft);
    copied_ = new QLabel(this);
    copied_->setObjectName(QStringLiteral("copyDiagnosticsResult"));
    copied_->setFont(style::font(style::captionPoints));
    copied_->setWordWrap(true);
    copied_->setVisible(false);
    column->addWidget(copied_);
}

void ReadersContent::copyReport() {
    const QString report = style::text(model_.diagnosticReport());
    QClipboard* clipboard = QGuiApplication::clipboard();
    bool held = false;
    if (!report.isEmpty() && clipboard != nullptr) {
        clipboard->setText(report);
        // Read back: on X11 the window now owns the selection and answers
        // from what it holds, so this shows whether the copy took.
        held = clipboard->text() == report;
    }
    copied_->setText(bindOneLetterWords(
        held ? QStringLiteral("Diagnostika je ve schránce, vložte ji do žádosti o podporu.")
             : QStringLiteral("Diagnostiku se nepodařilo zkopírovat.")));
    style::setTextColour(*copied_, held ? style::secondary() : style::red());
    copied_->setVisible(true);
}

}  // namespace tavrin::host::ui
