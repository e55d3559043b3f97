#pragma once
// A browser started for a test: its own process group (so that its helper
// processes go with it), its output in a log file, and killed with the whole
// group when the object goes away or the test process dies.

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tavrin::host::testing {

class BrowserProcess {
  public:
    // `environment` replaces HOME, every XDG_ variable, DISPLAY, WAYLAND_DISPLAY
    // and QT_QPA_PLATFORM of this process's environment. Throws
    // std::runtime_error when the program cannot be started.
    BrowserProcess(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& environment,
                   const std::filesystem::path& log);
    ~BrowserProcess();
    BrowserProcess(const BrowserProcess&) = delete;
    BrowserProcess& operator=(const BrowserProcess&) = delete;

    // False once the browser's main process has exited.
    bool running();

  private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

}  // namespace tavrin::host::testing
