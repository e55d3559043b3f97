#include "window/elided_text.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include "window/accessibility.h"

namespace tavrin::host::ui {

ElidedText::ElidedText(const QString& text, const QFont& font, const QColor& colour,
                       QWidget* parent)
    : QWidget(parent), text_(text), colour_(colour) {
    setFont(font);
    setToolTip(text);
    accessibility::markAsText(*this, text);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFocusPolicy(Qt::ClickFocus);
    auto* copyAction = new QAction(QStringLiteral("Kopírovat"), this);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, [this] { copy(); });
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

QSize ElidedText::sizeHint() const {
    return {fontMetrics().horizontalAdvance(text_), fontMetrics().height()};
}

QSize ElidedText::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 8, fontMetrics().height()};
}

void ElidedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(colour_);
    painter.setFont(font());
    const QString shown = fontMetrics().elidedText(text_, Qt::ElideMiddle, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void ElidedText::copy() const {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text_);
}

}  // namespace tavrin::host::ui
