#pragma once
// The management window: the header above four tabs (status, grants,
// browsers, about), 560 × 500 points, centred on the screen. Closing it, or
// Ctrl+Q / Ctrl+W, ends the event loop.

#include <QWidget>

#include "ui_interface/management_model.h"

namespace tavrin::host::ui {

class ManagementWindow final : public QWidget {
  public:
    explicit ManagementWindow(ManagementModel& model, QWidget* parent = nullptr);

  protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace tavrin::host::ui
