#pragma once
// How a prompt shows its message: the origin, the one thing the user must
// check, set apart on a line of its own, larger, with its registrable domain
// in bold; the words before and after it keep their order. The result is
// rich text built only from escaped pieces, so nothing in an origin or a
// message can take effect as markup.

#include <QString>

namespace tavrin::host::ui {

QString promptMarkup(const QString& message);

// The part of a host name that its registrant owns: "example.cz" of
// "podpis.example.cz", "example.co.uk" of "www.example.co.uk"; an address
// or a single label is returned whole. A short rule, not the public suffix
// list: it only decides which part is shown in bold.
QString registrableDomain(const QString& host);

}  // namespace tavrin::host::ui
