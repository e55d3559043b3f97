#pragma once
// The browser card's content: a banner, one row per browser and, while some
// browser is not connected, the "Pokročilé" section with the button that
// connects them again and the manifest paths.

#include <QWidget>

#include "ui_interface/management_model.h"

namespace tavrin::host::ui {

class BrowsersContent final : public QWidget {
  public:
    explicit BrowsersContent(ManagementModel& model, QWidget* parent = nullptr);

  private:
    void present(const BrowsersPresentation& presentation);
    void addAdvanced(const AdvancedSection& advanced);

    ManagementModel& model_;
    QWidget* body_ = nullptr;
};

}  // namespace tavrin::host::ui
