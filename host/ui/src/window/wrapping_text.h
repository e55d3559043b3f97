#pragma once
// Selectable text that wraps anywhere, also inside a long path without
// spaces, and is as tall as its wrapped text; QLabel wraps at word
// boundaries only.

#include <QTextEdit>

namespace tavrin::host::ui {

class WrappingText final : public QTextEdit {
  public:
    WrappingText(const QString& text, const QFont& font, const QColor& colour,
                 QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace tavrin::host::ui
