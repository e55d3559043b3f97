#include "window/browsers_content.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "czech_typography.h"
#include "window/elided_text.h"
#include "window/style.h"
#include "window/symbols.h"
#include "window/wrapping_text.h"

namespace tavrin::host::ui {
namespace {

QWidget* banner(const Banner& shown, QWidget* parent) {
    auto* widget = new QWidget(parent);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const QColor colour = style::colour(shown.colour);
    layout->addWidget(new SymbolView(shown.symbol, 16, colour, widget), 0, Qt::AlignTop);
    auto* label = new QLabel(bindOneLetterWords(style::text(shown.text)), widget);
    label->setFont(style::font(12.5));
    label->setWordWrap(true);
    style::setTextColour(*label, colour);
    layout->addWidget(label, 1);
    return widget;
}

// The symbol, the name and the state on one line; below them, indented to
// the name, the row's note and its commands.
QWidget* browserRow(const BrowserRow& row, QWidget* parent) {
    constexpr int symbolSize = 17;
    constexpr int spacing = 8;
    auto* widget = new QWidget(parent);
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 3, 0, 3);
    column->setSpacing(3);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(spacing);
    layout->addWidget(
        new SymbolView(row.symbol, symbolSize, style::colour(row.symbolColour), widget));
    auto* name = new QLabel(style::text(row.displayName), widget);
    name->setFont(style::font(13, style::Weight::medium));
    layout->addWidget(name);
    layout->addStretch();
    auto* status = new QLabel(style::text(row.statusText), widget);
    status->setFont(style::font(12.5));
    style::setTextColour(*status, style::secondary());
    layout->addWidget(status);
    column->addLayout(layout);

    const auto indented = [&](QWidget* shown) {
        auto* line = new QHBoxLayout;
        line->addSpacing(symbolSize + spacing);
        line->addWidget(shown, 1);
        column->addLayout(line);
    };
    if (!row.note.empty()) {
        auto* note = new QLabel(bindOneLetterWords(style::text(row.note)), widget);
        note->setFont(style::font(11.5));
        note->setWordWrap(true);
        note->setTextInteractionFlags(Qt::TextSelectableByMouse);
        style::setTextColour(*note, style::secondary());
        indented(note);
    }
    for (const std::string& command : row.commands)
        indented(new WrappingText(style::text(command), style::monospaced(11), style::secondary(),
                                  widget));
    return widget;
}

}  // namespace

BrowsersContent::BrowsersContent(ManagementModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    body_ = new QWidget(this);
    column->addWidget(body_);
    present(model_.browsers());
}

void BrowsersContent::present(const BrowsersPresentation& presentation) {
    // The pressed button lives in the old body: replace the body later.
    QWidget* old = body_;
    body_ = new QWidget(this);
    // The layout hands back the item that held the old body; it is ours.
    delete layout()->replaceWidget(old, body_);
    old->hide();
    old->deleteLater();

    auto* column = new QVBoxLayout(body_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    auto* subtitle =
        new QLabel(QStringLiteral("Stav propojení Tavrin Bridge s prohlížeči."), body_);
    subtitle->setFont(style::font(12.5));
    subtitle->setWordWrap(true);
    style::setTextColour(*subtitle, style::secondary());
    column->addWidget(subtitle);
    if (presentation.banner) column->addWidget(banner(*presentation.banner, body_));

    auto* rows = new QVBoxLayout;
    rows->setSpacing(2);
    for (const BrowserRow& row : presentation.rows)
        rows->addWidget(browserRow(row, body_));
    column->addLayout(rows);

    if (presentation.advanced) addAdvanced(*presentation.advanced);
    body_->show();
}

void BrowsersContent::addAdvanced(const AdvancedSection& advanced) {
    auto* column = static_cast<QVBoxLayout*>(body_->layout());
    auto* section = new QVBoxLayout;
    section->setSpacing(6);
    auto* title = new QLabel(style::text(advanced.title), body_);
    title->setFont(style::font(12.5, style::Weight::bold));
    style::setTextColour(*title, style::secondary());
    section->addWidget(title);
    auto* button = new QPushButton(style::text(advanced.connectButton), body_);
    button->setObjectName(QStringLiteral("connectBrowsers"));
    connect(button, &QPushButton::clicked, this, [this] { present(model_.connect()); });
    section->addWidget(button, 0, Qt::AlignLeft);
    for (const std::string& line : advanced.pathLines)
        section->addWidget(
            new ElidedText(style::text(line), style::monospaced(11), style::secondary(), body_));
    for (const std::string& line : advanced.errorLines)
        section->addWidget(
            new WrappingText(style::text(line), style::monospaced(11), style::orange(), body_));
    column->addSpacing(4);
    column->addLayout(section);
}

}  // namespace tavrin::host::ui
