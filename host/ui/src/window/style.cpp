#include "window/style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

namespace tavrin::host::ui::style {
namespace {

QColor mix(const QColor& a, const QColor& b, double share) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * share + b.redF() * (1 - share)),
                            static_cast<float>(a.greenF() * share + b.greenF() * (1 - share)),
                            static_cast<float>(a.blueF() * share + b.blueF() * (1 - share)));
}

}  // namespace

QColor accent() {
    return QColor::fromRgbF(0.909f, 0.569f, 0.227f);
}
// Each status colour has a light and a dark form, both with a contrast of at
// least 4.5:1 against the window and the cards of their palette (light:
// against white and #efefef; dark: against #1e1e1e to #3c3c3c).
bool darkPalette() {
    return QApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

QColor green() {
    return darkPalette() ? QColor(92, 210, 122) : QColor(21, 115, 48);
}
QColor orange() {
    return darkPalette() ? QColor(255, 166, 77) : QColor(163, 79, 0);
}
QColor red() {
    return darkPalette() ? QColor(255, 128, 128) : QColor(190, 28, 36);
}

QColor secondary() {
    const QPalette palette = QApplication::palette();
    return mix(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.55);
}

QColor hairline() {
    QColor line = QApplication::palette().color(QPalette::WindowText);
    line.setAlphaF(0.08f);
    return line;
}

QColor colour(ColourRole role) {
    switch (role) {
        case ColourRole::green:
            return green();
        case ColourRole::orange:
            return orange();
        case ColourRole::secondary:
            break;
    }
    return secondary();
}

QFont font(double points, Weight weight) {
    QFont result = QApplication::font();
    // Qt's point is 1/72 inch at 96 logical dots per inch; the layout's point
    // is one logical pixel.
    result.setPointSizeF(points * 72.0 / 96.0);
    switch (weight) {
        case Weight::regular:
            result.setWeight(QFont::Normal);
            break;
        case Weight::medium:
            result.setWeight(QFont::Medium);
            break;
        case Weight::semibold:
            result.setWeight(QFont::DemiBold);
            break;
        case Weight::bold:
            result.setWeight(QFont::Bold);
            break;
    }
    return result;
}

QFont monospaced(double points) {
    QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    result.setPointSizeF(points * 72.0 / 96.0);
    return result;
}

void setTextColour(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget.setPalette(palette);
}

}  // namespace tavrin::host::ui::style
