#pragma once
// The band at the top of the window and the preview: the application icon,
// its name and its one-line description, on a soft accent gradient.

#include <QWidget>

namespace tavrin::host::ui {

class AppHeader final : public QWidget {
  public:
    explicit AppHeader(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavrin::host::ui
