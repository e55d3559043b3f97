#pragma once
// What assistive technology (a screen reader) is told about the window's own
// widgets: the management window is a frame, a card a group named by its
// title, a symbol a graphic named in Czech, an elided line a label carrying
// the whole text. Qt would expose them all as plain fillers.

#include <string_view>

#include <QString>

class QWidget;

namespace tavrin::host::ui::accessibility {

// Marks widgets for the roles below; installs the roles once per process.
void markAsWindow(QWidget& window);
void markAsGraphic(QWidget& symbol, const QString& name);
void markAsGroup(QWidget& group, const QString& name);
void markAsText(QWidget& text, const QString& name);

// The Czech name of a symbol for a screen reader ("v pořádku" for
// "checkmark.circle.fill"); empty for a symbol that is pure decoration.
QString symbolName(std::string_view symbol);

}  // namespace tavrin::host::ui::accessibility
