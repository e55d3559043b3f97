#pragma once
// What assistive technology (a screen reader) is told about the window's own
// widgets: the management window is a frame, a symbol is a graphic named in
// Czech. Qt would expose both as plain fillers.

#include <string_view>

#include <QString>

class QWidget;

namespace tavrin::host::ui::accessibility {

// Marks widgets for the roles below; installs the roles once per process.
void markAsWindow(QWidget& window);
void markAsGraphic(QWidget& symbol, const QString& name);
void markAsGroup(QWidget& group, const QString& name);

// The Czech name of a symbol for a screen reader ("v pořádku" for
// "checkmark.circle.fill"); empty for a symbol that is pure decoration.
QString symbolName(std::string_view symbol);

}  // namespace tavrin::host::ui::accessibility
