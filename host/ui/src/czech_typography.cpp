#include "czech_typography.h"

namespace tavrin::host::ui {
namespace {

bool isOneLetterWord(QChar c) {
    switch (c.toLower().unicode()) {
        case u'k':
        case u's':
        case u'v':
        case u'z':
        case u'o':
        case u'u':
        case u'a':
        case u'i':
            return true;
        default:
            return false;
    }
}

}  // namespace

QString bindOneLetterWords(QString text) {
    // "… v Tavrin" → "… v\u00a0Tavrin": the letter stands alone when it
    // starts the text or follows a space or an opening bracket or quote.
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (!isOneLetterWord(text[i]) || text[i + 1] != u' ') continue;
        const bool standsAlone = i == 0 || text[i - 1].isSpace() || text[i - 1] == u'(' ||
                                 text[i - 1] == u'„' || text[i - 1] == u'"';
        if (standsAlone) text[i + 1] = QChar(0x00a0);
    }
    return text;
}

}  // namespace tavrin::host::ui
