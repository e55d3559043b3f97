#pragma once
// The window's symbols, drawn here with QPainter: each name is one of the
// platform symbol names the presentation uses (e.g. "checkmark.circle.fill").
// A name without a drawing of its own gets a plain ring, so that a new state
// still shows something.

#include <string>
#include <string_view>

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace tavrin::host::ui {

// Every symbol name that has a drawing.
bool hasSymbol(std::string_view name);

// Draws `name` in `colour` into the square centred in `box`.
void paintSymbol(QPainter& painter, std::string_view name, const QRectF& box, const QColor& colour);

// The symbol as an icon of `size` points, sharp at twice that resolution.
QIcon symbolIcon(std::string_view name, int size, const QColor& colour);

// The application's icon: a rounded square in the accent colour with a white
// bridge mark.
void paintAppIcon(QPainter& painter, const QRectF& box);

// A fixed-size widget showing one symbol.
class SymbolView final : public QWidget {
  public:
    SymbolView(std::string_view name, int size, const QColor& colour, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string name_;
    QColor colour_;
};

}  // namespace tavrin::host::ui
