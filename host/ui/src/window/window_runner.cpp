#include "window/window_runner.h"

#include <cstdio>

#include <QApplication>

#include "application.h"
#include "window/management_window.h"

namespace tavrin::host::ui {

int runManagementWindow(ManagementModel& model) {
    if (const std::string problem = ensureApplication(); !problem.empty()) {
        std::fprintf(stderr, "tavrin-bridge: cannot show the management window: %s\n",
                     problem.c_str());
        return 1;
    }
    ManagementWindow window(model);
    window.show();
    window.raise();
    window.activateWindow();
    QApplication::exec();
    return 0;
}

}  // namespace tavrin::host::ui
