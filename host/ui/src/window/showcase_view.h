#pragma once
// The preview's single page: the header, then the status, readers, grants
// and browser cards one below the other; 560 points wide, as tall as needed.

#include <QWidget>

#include "ui_interface/management_model.h"

namespace tavrin::host::ui {

class ShowcaseView final : public QWidget {
  public:
    static constexpr int width = 560;

    explicit ShowcaseView(ManagementModel& model, QWidget* parent = nullptr);
};

}  // namespace tavrin::host::ui
