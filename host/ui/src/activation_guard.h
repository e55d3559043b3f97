#pragma once
// Keeps a prompt's positive button from being pressed by input meant for
// something else. A page decides when a prompt appears, and the prompt takes
// the focus with its positive button as the default, so keys the user was
// typing into the page (Return, space) would answer it. The guard therefore
// swallows every activation of the positive button (Return or Enter, space
// on the button, a click on it) until the prompt has been active for a whole
// second with no key press or click; such input, or the prompt losing and
// regaining the focus, starts the second again. Once the second has passed,
// input is the user's answer until the prompt loses the focus. Escape and
// the negative button are never held back. The button is not disabled while
// guarded: a disabled button cannot hold the focus, which would make the
// negative button the default.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QAbstractButton;
class QWidget;

namespace tavrin::host::ui {

class ActivationGuard : public QObject {
  public:
    static constexpr int guardMilliseconds = 1000;

    // Watches `dialog` (and every widget in it) from now until destroyed.
    ActivationGuard(QWidget& dialog, QAbstractButton& positive);
    ~ActivationGuard() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void restart();
    void disarm();
    bool activatesPositive(QObject* watched, QEvent* event) const;

    QWidget& dialog_;
    QAbstractButton& positive_;
    QTimer timer_;
    bool armed_ = false;
};

}  // namespace tavrin::host::ui
