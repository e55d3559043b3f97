#pragma once
// One line of text, such as a long path, that never wraps: when it does not
// fit it is elided in the middle, so that both the start and the file name
// stay visible. The whole text is its tooltip and its accessible name, and
// it can be copied (Ctrl+C when focused, or the context menu).

#include <QWidget>

namespace tavrin::host::ui {

class ElidedText final : public QWidget {
  public:
    ElidedText(const QString& text, const QFont& font, const QColor& colour,
               QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void copy() const;

    QString text_;
    QColor colour_;
};

}  // namespace tavrin::host::ui
