#pragma once
// The window's colours and type sizes. Sizes are given in points of the
// window's layout (one point is one device-independent pixel), so that the
// same numbers hold on screen and in the double-resolution preview.

#include <string>
#include <string_view>

#include <QColor>
#include <QFont>
#include <QString>

#include "ui_interface/browsers_presentation.h"

class QWidget;

namespace tavrin::host::ui::style {

// The brand colour: sRGB 0.909, 0.569, 0.227.
QColor accent();
// True when the desktop's palette has a dark window background.
bool darkPalette();
// Text colours for states, readable on the palette's window and cards.
QColor green();
QColor orange();
QColor red();
// Secondary text: the text colour toned down towards the background.
QColor secondary();
// A primary-colour hairline at 8 % opacity, for borders and dividers.
QColor hairline();
QColor colour(ColourRole role);

enum class Weight { regular, medium, semibold, bold };
QFont font(double points, Weight weight = Weight::regular);
QFont monospaced(double points);
// The size of small supporting text under a row.
inline constexpr double captionPoints = 11.0;

// Sets the widget's text colour.
void setTextColour(QWidget& widget, const QColor& colour);

inline QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace tavrin::host::ui::style
