#include "window/app_header.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

#include "window/style.h"
#include "window/symbols.h"

namespace tavrin::host::ui {
namespace {

constexpr int iconSize = 52;
// Room around the icon for its shadow.
constexpr int shadowMargin = 6;

// The icon with a soft shadow (black at 12 %) below it, drawn as a few
// widening translucent rounded squares.
class AppIconView final : public QWidget {
  public:
    explicit AppIconView(QWidget* parent) : QWidget(parent) {
        setFixedSize(iconSize + 2 * shadowMargin, iconSize + 2 * shadowMargin);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF icon(shadowMargin, shadowMargin, iconSize, iconSize);
        painter.setPen(Qt::NoPen);
        constexpr int layers = 5;
        for (int i = layers; i >= 1; --i) {
            painter.setBrush(QColor(0, 0, 0, static_cast<int>(0.12 * 255 / layers)));
            const double grow = i * 1.0;
            painter.drawRoundedRect(icon.adjusted(-grow, -grow + 2, grow, grow + 2), 12 + grow,
                                    12 + grow);
        }
        paintAppIcon(painter, icon);
    }
};

}  // namespace

AppHeader::AppHeader(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    // 20 × 16 around the icon itself; its shadow margin is part of the inset.
    row->setContentsMargins(20 - shadowMargin, 16 - shadowMargin, 20, 16 - shadowMargin);
    row->setSpacing(14 - shadowMargin);
    row->addWidget(new AppIconView(this), 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* name = new QLabel(QStringLiteral("Tavrin Bridge"), this);
    name->setFont(style::font(19, style::Weight::bold));
    auto* tagline = new QLabel(QStringLiteral("Bezpečný podpis přes čipovou kartu a token"), this);
    tagline->setFont(style::font(12.5));
    style::setTextColour(*tagline, style::secondary());
    texts->addStretch();
    texts->addWidget(name);
    texts->addWidget(tagline);
    texts->addStretch();
    row->addLayout(texts);
    row->addStretch();
}

void AppHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor from = style::accent();
    from.setAlphaF(0.16f);
    QColor to = style::accent();
    to.setAlphaF(0.04f);
    QLinearGradient gradient(rect().topLeft(), rect().bottomLeft());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(rect(), gradient);
}

}  // namespace tavrin::host::ui
