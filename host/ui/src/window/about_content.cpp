#include "window/about_content.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "czech_typography.h"
#include "window/style.h"
#include "window/symbols.h"

namespace tavrin::host::ui {
namespace {

QLabel* wrapped(const QString& text, double points, QWidget* parent) {
    auto* label = new QLabel(bindOneLetterWords(text), parent);
    label->setFont(style::font(points));
    label->setWordWrap(true);
    return label;
}

QWidget* point(std::string_view symbol, const QString& text, QWidget* parent) {
    auto* widget = new QWidget(parent);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new SymbolView(symbol, 17, style::secondary(), widget), 0, Qt::AlignTop);
    layout->addWidget(wrapped(text, 12.5, widget), 1);
    return widget;
}

}  // namespace

AboutContent::AboutContent(const QString& caption, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(wrapped(
        QStringLiteral("Tavrin Bridge je bezpečný most mezi webovým prohlížečem a kvalifikovanými "
                       "podpisovými prostředky (čipové karty a USB tokeny)."),
        13, this));
    column->addWidget(point("lock.shield.fill",
                            QStringLiteral("Privátní klíč nikdy neopustí vaši kartu."), this));
    column->addWidget(point(
        "network.slash",
        QStringLiteral("Appka není z internetu dostupná zvenčí a nevydává si vlastní certifikáty "
                       "— podepisujete certifikátem z vaší karty nebo tokenu."),
        this));
    auto* small = wrapped(caption, style::captionPoints, this);
    style::setTextColour(*small, style::secondary());
    column->addWidget(small);
}

}  // namespace tavrin::host::ui
