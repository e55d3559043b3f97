#pragma once
// A titled panel: a symbol and an upper-case title, then the content, on a
// rounded panel with a hairline border.

#include <string_view>

#include <QWidget>

namespace tavrin::host::ui {

class Card final : public QWidget {
  public:
    // Takes ownership of `content`.
    Card(std::string_view symbol, const QString& title, QWidget* content,
         QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavrin::host::ui
