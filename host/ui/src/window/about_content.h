#pragma once
// The "O aplikaci" card's content: what the bridge is and what it never does.

#include <QString>
#include <QWidget>

namespace tavrin::host::ui {

class AboutContent final : public QWidget {
  public:
    // `caption`: the small line at the bottom (the version).
    explicit AboutContent(const QString& caption, QWidget* parent = nullptr);
};

}  // namespace tavrin::host::ui
