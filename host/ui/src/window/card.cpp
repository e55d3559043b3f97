#include "window/card.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QVBoxLayout>

#include "window/accessibility.h"
#include "window/style.h"
#include "window/symbols.h"

namespace tavrin::host::ui {

Card::Card(std::string_view symbol, const QString& title, QWidget* content, QWidget* parent)
    : QWidget(parent) {
    accessibility::markAsGroup(*this, title);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(10);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(7);
    titleRow->addWidget(new SymbolView(symbol, 15, style::secondary(), this));
    auto* label = new QLabel(title, this);
    label->setFont(style::font(13, style::Weight::semibold));
    style::setTextColour(*label, style::secondary());
    titleRow->addWidget(label);
    titleRow->addStretch();
    column->addLayout(titleRow);

    content->setParent(this);
    column->addWidget(content);
}

void Card::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(style::hairline(), 1));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

}  // namespace tavrin::host::ui
