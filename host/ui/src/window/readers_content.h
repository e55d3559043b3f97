#pragma once
// The "Čtečky a karty" card's content: each reader with its card (label and
// identities) and PIN keypad, each token module that does not load with the
// loader's reason, and a button that copies the diagnostic report.

#include <QWidget>

#include "ui_interface/management_model.h"

class QLabel;

namespace tavrin::host::ui {

class ReadersContent final : public QWidget {
  public:
    explicit ReadersContent(ManagementModel& model, QWidget* parent = nullptr);

  private:
    void copyReport();

    ManagementModel& model_;
    QLabel* copied_ = nullptr;
};

}  // namespace tavrin::host::ui
