#include "window/symbols.h"

#include <cmath>
#include <functional>
#include <map>
#include <numbers>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "window/accessibility.h"

namespace tavrin::host::ui {
namespace {

// Every drawing works in a 24 × 24 box with its origin at the top left; the
// painter is scaled to the requested size first.
constexpr double unit = 24.0;
const QColor white(255, 255, 255);

QPen strokeOf(const QColor& colour, double width) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void fillCircle(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(1.5, 1.5, 21, 21));
}

void checkmark(QPainter& p, const QColor& colour, double width = 2.4) {
    p.setPen(strokeOf(colour, width));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(7.2, 12.4);
    tick.lineTo(10.6, 15.8);
    tick.lineTo(16.8, 8.6);
    p.drawPath(tick);
}

void exclamation(QPainter& p, const QColor& colour, double top, double bottom) {
    p.setPen(strokeOf(colour, 2.6));
    p.drawLine(QPointF(12, top), QPointF(12, bottom));
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(12, bottom + 3.4), 1.5, 1.5);
}

void padlock(QPainter& p, const QColor& colour, const QPointF& centre, double scale) {
    p.save();
    p.translate(centre);
    p.scale(scale, scale);
    p.setPen(strokeOf(colour, 1.8));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(-3, 0);
    shackle.lineTo(-3, -3);
    shackle.arcTo(QRectF(-3, -6, 6, 6), 180, -180);
    shackle.lineTo(3, 0);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(-5, -0.5, 10, 7.5), 1.5, 1.5);
    p.restore();
}

void questionMark(QPainter& p, const QColor& colour) {
    p.setPen(strokeOf(colour, 2.4));
    p.setBrush(Qt::NoBrush);
    QPainterPath hook;
    hook.moveTo(8.8, 9.4);
    hook.arcTo(QRectF(8.8, 5.8, 6.4, 6.4), 180, -250);
    hook.quadTo(12, 12.6, 12, 14.2);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(12, 17.6), 1.5, 1.5);
}

void folder(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    QPainterPath shape;
    shape.moveTo(6.5, 8);
    shape.lineTo(10.5, 8);
    shape.lineTo(12, 9.5);
    shape.lineTo(17.5, 9.5);
    shape.lineTo(17.5, 16.5);
    shape.lineTo(6.5, 16.5);
    shape.closeSubpath();
    p.drawPath(shape);
}

// A twelve-pointed rosette with rounded points.
void seal(QPainter& p, const QColor& colour) {
    QPainterPath rosette;
    const int points = 12;
    for (int i = 0; i <= points * 2; ++i) {
        const double angle = std::numbers::pi * i / points;
        const double radius = i % 2 == 0 ? 11.0 : 9.2;
        const QPointF at(12 + radius * std::sin(angle), 12 - radius * std::cos(angle));
        i == 0 ? rosette.moveTo(at) : rosette.lineTo(at);
    }
    p.setPen(strokeOf(colour, 1.2));
    p.setBrush(colour);
    p.drawPath(rosette);
}

QPainterPath handOutline() {
    QPainterPath hand;
    // Four fingers, the palm and the thumb as one united shape.
    const double fingers[][3] = {
        {6.2, 6.5, 2.6}, {9.2, 3.5, 2.6}, {12.2, 3.0, 2.6}, {15.2, 4.5, 2.6}};
    for (const auto& f : fingers) {
        QPainterPath finger;
        finger.addRoundedRect(QRectF(f[0], f[1], f[2], 12), 1.3, 1.3);
        hand = hand.united(finger);
    }
    QPainterPath palm;
    palm.addRoundedRect(QRectF(6.2, 11, 11.6, 10.5), 4.5, 4.5);
    hand = hand.united(palm);
    QPainterPath thumb;
    thumb.moveTo(17.0, 14.5);
    thumb.lineTo(19.6, 10.6);
    thumb.quadTo(21.2, 9.8, 21.4, 11.4);
    thumb.lineTo(18.2, 19.0);
    thumb.closeSubpath();
    return hand.united(thumb);
}

void globeLines(QPainter& p, const QColor& colour, double width) {
    p.setPen(strokeOf(colour, width));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
    p.drawEllipse(QRectF(7.5, 2.5, 9, 19));
    p.drawLine(QPointF(2.5, 12), QPointF(21.5, 12));
    p.drawLine(QPointF(12, 2.5), QPointF(12, 21.5));
    QPainterPath latitudes;
    latitudes.moveTo(4.5, 7);
    latitudes.quadTo(12, 9.6, 19.5, 7);
    latitudes.moveTo(4.5, 17);
    latitudes.quadTo(12, 14.4, 19.5, 17);
    p.drawPath(latitudes);
}

void slash(QPainter& p, const QColor& colour) {
    // A background-coloured gap first would need the background; a thicker
    // stroke of the same colour reads well on any panel.
    p.setPen(strokeOf(colour, 2.2));
    p.drawLine(QPointF(3.5, 3.5), QPointF(20.5, 20.5));
}

void star(QPainter& p, const QPointF& centre, double radius) {
    QPainterPath shape;
    const double inner = radius * 0.28;
    shape.moveTo(centre.x(), centre.y() - radius);
    shape.quadTo(centre.x() + inner, centre.y() - inner, centre.x() + radius, centre.y());
    shape.quadTo(centre.x() + inner, centre.y() + inner, centre.x(), centre.y() + radius);
    shape.quadTo(centre.x() - inner, centre.y() + inner, centre.x() - radius, centre.y());
    shape.quadTo(centre.x() - inner, centre.y() - inner, centre.x(), centre.y() - radius);
    p.drawPath(shape);
}

QPainterPath shieldPath() {
    QPainterPath shield;
    shield.moveTo(12, 1.8);
    shield.lineTo(20.5, 5.0);
    shield.cubicTo(20.5, 13.5, 17.5, 19.0, 12, 22.2);
    shield.cubicTo(6.5, 19.0, 3.5, 13.5, 3.5, 5.0);
    shield.closeSubpath();
    return shield;
}

using Drawing = std::function<void(QPainter&, const QColor&)>;

const std::map<std::string_view, Drawing>& drawings() {
    static const std::map<std::string_view, Drawing> table = {
        {"checkmark.circle.fill",
         [](QPainter& p, const QColor& c) {
             fillCircle(p, c);
             checkmark(p, white);
         }},
        {"questionmark.circle.fill",
         [](QPainter& p, const QColor& c) {
             fillCircle(p, c);
             questionMark(p, white);
         }},
        {"lock.circle.fill",
         [](QPainter& p, const QColor& c) {
             fillCircle(p, c);
             padlock(p, white, QPointF(12, 12), 0.85);
         }},
        {"folder.circle.fill",
         [](QPainter& p, const QColor& c) {
             fillCircle(p, c);
             folder(p, white);
         }},
        {"exclamationmark.circle.fill",
         [](QPainter& p, const QColor& c) {
             fillCircle(p, c);
             exclamation(p, white, 6.5, 13.0);
         }},
        {"xmark.circle.fill",
         [](QPainter& p, const QColor& c) {
             fillCircle(p, c);
             p.setPen(strokeOf(white, 2.4));
             p.drawLine(QPointF(8.3, 8.3), QPointF(15.7, 15.7));
             p.drawLine(QPointF(15.7, 8.3), QPointF(8.3, 15.7));
         }},
        {"info.circle.fill",
         [](QPainter& p, const QColor& c) {
             fillCircle(p, c);
             p.setPen(strokeOf(white, 2.6));
             p.drawLine(QPointF(12, 11), QPointF(12, 17.5));
             p.setPen(Qt::NoPen);
             p.setBrush(white);
             p.drawEllipse(QPointF(12, 7.3), 1.6, 1.6);
         }},
        {"circle.dashed",
         [](QPainter& p, const QColor& c) {
             QPen pen = strokeOf(c, 1.8);
             pen.setCapStyle(Qt::FlatCap);
             pen.setDashPattern({2.2, 1.6});
             p.setPen(pen);
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(3, 3, 18, 18));
         }},
        {"exclamationmark.triangle.fill",
         [](QPainter& p, const QColor& c) {
             QPainterPath triangle;
             triangle.moveTo(12, 3);
             triangle.lineTo(21.5, 20);
             triangle.lineTo(2.5, 20);
             triangle.closeSubpath();
             p.setPen(strokeOf(c, 2.0));
             p.setBrush(c);
             p.drawPath(triangle);
             exclamation(p, white, 8.5, 13.8);
         }},
        {"checkmark.seal.fill",
         [](QPainter& p, const QColor& c) {
             seal(p, c);
             checkmark(p, white, 2.2);
         }},
        {"hand.raised.fill",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPath(handOutline());
         }},
        {"hand.raised.slash",
         [](QPainter& p, const QColor& c) {
             p.setPen(strokeOf(c, 1.4));
             p.setBrush(Qt::NoBrush);
             p.drawPath(handOutline());
             slash(p, c);
         }},
        {"globe", [](QPainter& p, const QColor& c) { globeLines(p, c, 1.5); }},
        {"network.slash",
         [](QPainter& p, const QColor& c) {
             globeLines(p, c, 1.4);
             slash(p, c);
         }},
        {"lock.shield.fill",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPath(shieldPath());
             padlock(p, white, QPointF(12, 12.2), 0.8);
         }},
        {"creditcard",
         [](QPainter& p, const QColor& c) {
             // A card lying flat, its chip on the left.
             p.setPen(strokeOf(c, 1.7));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(2.5, 5.5, 19, 13), 2.2, 2.2);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(5.5, 9.5, 5, 4), 0.9, 0.9);
             p.drawRect(QRectF(13, 14.2, 5.5, 1.6));
         }},
        {"sparkles",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             star(p, QPointF(10, 13), 8.5);
             star(p, QPointF(19, 5.5), 4);
             star(p, QPointF(19.5, 19), 3);
         }},
    };
    return table;
}

}  // namespace

bool hasSymbol(std::string_view name) {
    return drawings().contains(name);
}

void paintSymbol(QPainter& painter, std::string_view name, const QRectF& box,
                 const QColor& colour) {
    const double side = std::min(box.width(), box.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / unit, side / unit);
    const auto drawing = drawings().find(name);
    if (drawing != drawings().end()) {
        drawing->second(painter, colour);
    } else {
        painter.setPen(strokeOf(colour, 1.8));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(3, 3, 18, 18));
    }
    painter.restore();
}

QIcon symbolIcon(std::string_view name, int size, const QColor& colour) {
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintSymbol(painter, name, QRectF(0, 0, size, size), colour);
    painter.end();
    return QIcon(pixmap);
}

void paintAppIcon(QPainter& painter, const QRectF& box) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.topLeft());
    painter.scale(box.width() / unit, box.height() / unit);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.909f, 0.569f, 0.227f));
    painter.drawRoundedRect(QRectF(0, 0, unit, unit), 5.4, 5.4);

    // A bridge: an arch over a deck, on two piers.
    painter.setPen(strokeOf(white, 1.7));
    painter.setBrush(Qt::NoBrush);
    QPainterPath arch;
    arch.moveTo(4.5, 14.5);
    arch.quadTo(12, 3.5, 19.5, 14.5);
    painter.drawPath(arch);
    painter.drawLine(QPointF(3.8, 14.5), QPointF(20.2, 14.5));
    painter.drawLine(QPointF(7.5, 14.5), QPointF(7.5, 19));
    painter.drawLine(QPointF(16.5, 14.5), QPointF(16.5, 19));
    painter.setPen(strokeOf(white, 1.1));
    for (const double x : {9.5, 12.0, 14.5}) {
        const double t = (x - 4.5) / 15.0;
        const double y = (1 - t) * (1 - t) * 14.5 + 2 * (1 - t) * t * 3.5 + t * t * 14.5;
        painter.drawLine(QPointF(x, y + 0.8), QPointF(x, 14.5));
    }
    painter.restore();
}

SymbolView::SymbolView(std::string_view name, int size, const QColor& colour, QWidget* parent)
    : QWidget(parent), name_(name), colour_(colour) {
    setFixedSize(size, size);
    accessibility::markAsGraphic(*this, accessibility::symbolName(name));
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSymbol(painter, name_, QRectF(rect()), colour_);
}

}  // namespace tavrin::host::ui
