#include "window/showcase_view.h"

#include <QPalette>
#include <QVBoxLayout>

#include "window/app_header.h"
#include "window/browsers_content.h"
#include "window/card.h"
#include "window/consent_content.h"
#include "window/readers_content.h"
#include "window/status_content.h"

namespace tavrin::host::ui {

ShowcaseView::ShowcaseView(ManagementModel& model, QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // The height comes from heightForWidth at the fixed width; the layout's
    // minimum, summed from wrapped labels at their narrowest, is far taller.
    column->setSizeConstraint(QLayout::SetNoConstraint);
    column->addWidget(new AppHeader(this));

    auto* cards = new QVBoxLayout;
    cards->setContentsMargins(20, 20, 20, 20);
    cards->setSpacing(14);
    cards->addWidget(new Card("checkmark.seal.fill", QStringLiteral("STAV APLIKACE"),
                              new StatusContent(model.status())));
    cards->addWidget(
        new Card("creditcard", QStringLiteral("ČTEČKY A KARTY"), new ReadersContent(model)));
    cards->addWidget(new Card("hand.raised.fill", QStringLiteral("UDĚLENÉ SOUHLASY"),
                              new ConsentContent(model)));
    cards->addWidget(
        new Card("globe", QStringLiteral("PROPOJENÍ S PROHLÍŽEČI"), new BrowsersContent(model)));
    column->addLayout(cards);
    setFixedWidth(width);
}

}  // namespace tavrin::host::ui
