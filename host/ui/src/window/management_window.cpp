#include "window/management_window.h"

#include <algorithm>
#include <initializer_list>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "window/about_content.h"
#include "window/accessibility.h"
#include "window/app_header.h"
#include "window/browsers_content.h"
#include "window/card.h"
#include "window/consent_content.h"
#include "window/readers_content.h"
#include "window/status_content.h"
#include "window/style.h"
#include "window/symbols.h"

namespace tavrin::host::ui {
namespace {

// One tab's page: its cards inset 20 points, one below the other,
// scrolling when they are taller than the window.
QScrollArea* page(std::initializer_list<Card*> cards) {
    auto* area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab from the tab bar goes straight to the page's own controls.
    area->setFocusPolicy(Qt::NoFocus);
    auto* inner = new QWidget;
    auto* column = new QVBoxLayout(inner);
    column->setContentsMargins(20, 20, 20, 20);
    // As tall as the card at the page's width (heightForWidth), not as tall
    // as its wrapped labels would be at their narrowest.
    column->setSizeConstraint(QLayout::SetNoConstraint);
    column->setSpacing(14);
    for (Card* card : cards)
        column->addWidget(card);
    column->addStretch();
    area->setWidget(inner);
    return area;
}

constexpr int windowWidth = 560;
constexpr int usualHeight = 500;
// Room left on screen for the window manager's title bar.
constexpr int titleBarAllowance = 48;

QString aboutCaption(const std::optional<HostStatus>& status) {
    if (!status) return QStringLiteral("Tavrin Bridge");
    return QStringLiteral("Tavrin Bridge %1 · protokol %2")
        .arg(style::text(status->version), style::text(status->protocolVersion));
}

}  // namespace

ManagementWindow::ManagementWindow(ManagementModel& model, QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Tavrin Bridge"));
    accessibility::markAsWindow(*this);
    setFixedWidth(windowWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(new AppHeader(this));

    const std::optional<HostStatus> status = model.status();
    const struct {
        std::string_view symbol;
        QString tab;
        QScrollArea* page;
    } tabs[] = {
        {"checkmark.seal.fill", QStringLiteral("Stav"),
         page({new Card("checkmark.seal.fill", QStringLiteral("STAV APLIKACE"),
                        new StatusContent(status)),
               new Card("creditcard", QStringLiteral("ČTEČKY A KARTY"),
                        new ReadersContent(model))})},
        {"hand.raised.fill", QStringLiteral("Souhlasy"),
         page({new Card("hand.raised.fill", QStringLiteral("UDĚLENÉ SOUHLASY"),
                        new ConsentContent(model))})},
        {"globe", QStringLiteral("Prohlížeče"),
         page({new Card("globe", QStringLiteral("PROPOJENÍ S PROHLÍŽEČI"),
                        new BrowsersContent(model))})},
        {"info.circle.fill", QStringLiteral("O aplikaci"),
         page({new Card("info.circle.fill", QStringLiteral("O APLIKACI"),
                        new AboutContent(aboutCaption(status)))})},
    };
    auto* tabWidget = new QTabWidget(this);
    tabWidget->setObjectName(QStringLiteral("managementTabs"));
    tabWidget->setDocumentMode(true);
    tabWidget->setIconSize(QSize(15, 15));
    for (const auto& tab : tabs)
        tabWidget->addTab(tab.page, symbolIcon(tab.symbol, 15, style::secondary()), tab.tab);
    column->addWidget(tabWidget, 1);
    // The keyboard starts on the tab bar: arrows switch tabs, Tab enters the page.
    tabWidget->tabBar()->setFocus(Qt::OtherFocusReason);
    setFocusProxy(tabWidget->tabBar());

    for (const QKeySequence& keys :
         {QKeySequence(QKeySequence::Quit), QKeySequence(QKeySequence::Close)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }

    // As tall as the tallest page needs, so that no card is cut off or
    // scrolls; at least the usual height, at most what the screen offers.
    int tallestPage = 0;
    for (int i = 0; i < tabWidget->count(); ++i) {
        QWidget* inner = static_cast<QScrollArea*>(tabWidget->widget(i))->widget();
        const int forWidth = inner->heightForWidth(windowWidth);
        tallestPage = std::max(tallestPage, forWidth > 0 ? forWidth : inner->sizeHint().height());
    }
    const int wanted = column->itemAt(0)->sizeHint().height() + column->spacing() +
                       tabWidget->tabBar()->sizeHint().height() + tallestPage;
    int height = std::max(usualHeight, wanted);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        height = std::min(height, screen->availableGeometry().height() - titleBarAllowance);
    setMinimumHeight(std::min(usualHeight, height));
    resize(windowWidth, height);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void ManagementWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}

}  // namespace tavrin::host::ui
