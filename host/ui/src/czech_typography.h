#pragma once
// Czech typesetting: a one-letter preposition or conjunction (k, s, v, z,
// o, u, a, i) never ends a line; it is bound to the next word with a
// non-breaking space. Used by every Czech text of the window and the prompts.

#include <QString>

namespace tavrin::host::ui {

QString bindOneLetterWords(QString text);

}  // namespace tavrin::host::ui
