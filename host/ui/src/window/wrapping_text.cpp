#include "window/wrapping_text.h"

#include <cmath>

#include <QAbstractTextDocumentLayout>
#include <QPalette>
#include <QTextDocument>

namespace tavrin::host::ui {

WrappingText::WrappingText(const QString& text, const QFont& font, const QColor& colour,
                           QWidget* parent)
    : QTextEdit(parent) {
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::ClickFocus);
    setFont(font);
    document()->setDocumentMargin(0);
    QPalette colours = palette();
    colours.setColor(QPalette::Text, colour);
    colours.setColor(QPalette::Base, Qt::transparent);
    setPalette(colours);
    viewport()->setAutoFillBackground(false);
    setPlainText(text);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int WrappingText::heightForWidth(int width) const {
    QTextDocument* layoutCopy = document()->clone();
    layoutCopy->setTextWidth(width);
    const int height = static_cast<int>(std::ceil(layoutCopy->size().height()));
    delete layoutCopy;
    return height;
}

QSize WrappingText::sizeHint() const {
    const int width = std::max(this->width(), 100);
    return {width, heightForWidth(width)};
}

QSize WrappingText::minimumSizeHint() const {
    return {50, heightForWidth(std::max(width(), 100))};
}

void WrappingText::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    updateGeometry();
}

}  // namespace tavrin::host::ui
