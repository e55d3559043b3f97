#include "prompt_text.h"

#include <QRegularExpression>
#include <QStringList>

#include "czech_typography.h"

namespace tavrin::host::ui {
namespace {

// A break opportunity that shows nothing: a long origin wraps after its
// dots rather than anywhere.
constexpr QChar breakHere(0x200b);

QString escaped(const QString& plain) {
    return bindOneLetterWords(plain).toHtmlEscaped();
}

QString breakable(const QString& plain) {
    QString result = plain.toHtmlEscaped();
    result.replace(QStringLiteral("."), QStringLiteral(".") + breakHere);
    result.replace(QStringLiteral("://"), QStringLiteral("://") + breakHere);
    return result;
}

// scheme://host[:port]: the host is bracketed (IPv6) or runs to a colon or slash.
QString originMarkup(const QString& origin) {
    const qsizetype hostStart = origin.indexOf(QStringLiteral("://")) + 3;
    qsizetype hostEnd = origin.size();
    if (origin.mid(hostStart).startsWith(u'[')) {
        const qsizetype close = origin.indexOf(u']', hostStart);
        if (close > 0) hostEnd = close + 1;
    } else {
        for (qsizetype i = hostStart; i < origin.size(); ++i) {
            if (origin[i] == u':' || origin[i] == u'/') {
                hostEnd = i;
                break;
            }
        }
    }
    const QString host = origin.mid(hostStart, hostEnd - hostStart);
    const QString domain = registrableDomain(host);
    const qsizetype domainStart = hostEnd - domain.size();
    return breakable(origin.left(domainStart)) + QStringLiteral("<b>") +
           breakable(origin.mid(domainStart, domain.size())) + QStringLiteral("</b>") +
           breakable(origin.mid(hostEnd));
}

}  // namespace

QString registrableDomain(const QString& host) {
    static const QRegularExpression address(QStringLiteral("^[0-9.]+$"));
    if (host.startsWith(u'[') || address.match(host).hasMatch()) return host;
    const QStringList labels = host.split(u'.');
    if (labels.size() <= 2) return host;
    // Country domains that sell names one level down: co.uk, com.au, ac.at …
    static const QStringList secondLevel = {
        QStringLiteral("co"),  QStringLiteral("com"), QStringLiteral("org"), QStringLiteral("net"),
        QStringLiteral("gov"), QStringLiteral("edu"), QStringLiteral("ac")};
    const qsizetype n = labels.size();
    const bool oneDeeper = labels[n - 1].size() == 2 && secondLevel.contains(labels[n - 2]);
    return labels.mid(n - (oneDeeper ? 3 : 2)).join(u'.');
}

QString promptMarkup(const QString& message) {
    static const QRegularExpression originPattern(
        QStringLiteral("[a-z][a-z0-9+.-]*://[^\\s]*[^\\s.,;:?!]"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = originPattern.match(message);
    if (!found.hasMatch()) return escaped(message);

    const QString before = message.left(found.capturedStart()).trimmed();
    QString after = message.mid(found.capturedEnd());
    // Punctuation right after the origin stays on its line.
    qsizetype punctuation = 0;
    while (punctuation < after.size() && !after[punctuation].isSpace())
        ++punctuation;
    const QString trailing = after.left(punctuation);
    after = after.mid(punctuation).trimmed();

    QString markup;
    if (!before.isEmpty()) markup += escaped(before) + QStringLiteral("<br>");
    markup += QStringLiteral("<span style=\"font-size:large\">") + originMarkup(found.captured()) +
              trailing.toHtmlEscaped() + QStringLiteral("</span>");
    if (!after.isEmpty()) markup += QStringLiteral("<br>") + escaped(after);
    return markup;
}

}  // namespace tavrin::host::ui
