#pragma once
// The grants card's content: one row per origin that holds a grant, each
// with its purposes, the time of the grant and a button that revokes it.

#include <string>
#include <vector>

#include <QWidget>

#include "ui_interface/consent_grant.h"
#include "ui_interface/management_model.h"

class QLabel;
class QVBoxLayout;

namespace tavrin::host::ui {

// "podepisování, přihlašování · <date and time in the user's locale>".
QString grantCaption(const ConsentGrant& grant);

class ConsentContent final : public QWidget {
  public:
    explicit ConsentContent(ManagementModel& model, QWidget* parent = nullptr);

  private:
    void showGrants(const std::vector<ConsentGrant>& grants);
    void revoke(const std::string& origin);

    ManagementModel& model_;
    QWidget* list_ = nullptr;
    QLabel* error_ = nullptr;
};

}  // namespace tavrin::host::ui
