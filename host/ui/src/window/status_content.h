#pragma once
// The status card's content: version, platform and signing methods, with
// the protocol version and the build stamp in a collapsed "Pokročilé" group.

#include <optional>

#include <QWidget>

#include "ui_interface/host_status.h"

namespace tavrin::host::ui {

class StatusContent final : public QWidget {
  public:
    // Nothing in `status`: the core's answer could not be read.
    explicit StatusContent(const std::optional<HostStatus>& status, QWidget* parent = nullptr);
};

}  // namespace tavrin::host::ui
