#include "window/accessibility.h"

#include <mutex>
#include <utility>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace tavrin::host::ui::accessibility {
namespace {

// The widgets carry no meta-object of their own: they are told apart by
// object name.
const QString windowMark = QStringLiteral("tavrinWindow");
const QString graphicMark = QStringLiteral("tavrinSymbol");
const QString groupMark = QStringLiteral("tavrinGroup");
const QString textMark = QStringLiteral("tavrinText");

QAccessibleInterface* roleFor(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (widget->objectName() == windowMark)
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (widget->objectName() == graphicMark)
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    if (widget->objectName() == groupMark)
        return new QAccessibleWidget(widget, QAccessible::Grouping);
    if (widget->objectName() == textMark)
        return new QAccessibleWidget(widget, QAccessible::StaticText);
    return nullptr;
}

void installRoles() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(roleFor); });
}

}  // namespace

void markAsWindow(QWidget& window) {
    installRoles();
    window.setObjectName(windowMark);
}

void markAsGraphic(QWidget& symbol, const QString& name) {
    installRoles();
    symbol.setObjectName(graphicMark);
    symbol.setAccessibleName(name);
}

void markAsGroup(QWidget& group, const QString& name) {
    installRoles();
    group.setObjectName(groupMark);
    group.setAccessibleName(name);
}

void markAsText(QWidget& text, const QString& name) {
    installRoles();
    text.setObjectName(textMark);
    text.setAccessibleName(name);
}

QString symbolName(std::string_view symbol) {
    static const std::pair<std::string_view, const char*> names[] = {
        {"checkmark.circle.fill", "v pořádku"},
        {"questionmark.circle.fill", "neznámý stav"},
        {"lock.circle.fill", "zamčeno"},
        {"folder.circle.fill", "složka"},
        {"exclamationmark.circle.fill", "chyba"},
        {"xmark.circle.fill", "nelze"},
        {"exclamationmark.triangle.fill", "upozornění"},
        {"info.circle.fill", "informace"},
        {"circle.dashed", "nepropojeno"},
        {"checkmark.seal.fill", "stav aplikace"},
        {"hand.raised.fill", "souhlasy"},
        {"hand.raised.slash", "žádné souhlasy"},
        {"globe", "prohlížeče"},
        {"creditcard", "čipová karta"},
        {"network.slash", "bez spojení"},
        {"lock.shield.fill", "zabezpečení"},
        {"sparkles", "novinka"},
    };
    for (const auto& [key, name] : names)
        if (key == symbol) return QString::fromUtf8(name);
    return {};
}

}  // namespace tavrin::host::ui::accessibility
