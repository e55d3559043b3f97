#pragma once
// A private X server (Xvfb) for tests that show real dialogs, and the
// xdotool and ImageMagick commands that answer and photograph them. The
// server picks a free display number itself; it is killed when the object
// goes away, and by the kernel if the test process dies first. Optionally a
// private D-Bus session bus beside it, on which Qt programs publish their
// widgets for screen readers (AT-SPI); its sockets are in a runtime folder
// of its own, so that tests can run side by side.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace tavrin::host::testing {

class Xvfb {
  public:
    // Throws std::runtime_error when the server (or the bus) does not come up.
    explicit Xvfb(bool accessible = false);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // ":N"
    const std::string& display() const { return display_; }
    // DISPLAY and, with the bus, what makes a Qt program publish its widgets.
    std::map<std::string, std::string> environment() const;
    // With the bus: what a screen reader sees, one object a line: two spaces
    // per level, "role<TAB>name<TAB>x,y,w,h" (screen coordinates; empty for
    // an object without extents).
    std::string tree() const;

    // A shell command run with DISPLAY pointing here; its standard output.
    std::string run(const std::string& command) const;

    // The id of a visible named window once one exists, or "" after `limit`.
    std::string waitForWindow(std::chrono::seconds limit = std::chrono::seconds(60)) const;
    // True once no visible named window is left (given `window`: once that
    // one is gone), false after `limit`.
    bool waitForNoWindow(std::chrono::seconds limit = std::chrono::seconds(30),
                         const std::string& window = {}) const;

    // Gives `window` the keyboard focus, then runs each xdotool action in
    // turn (e.g. {"type 1234", "key Return"}).
    void answer(const std::string& window, const std::vector<std::string>& actions) const;
    // Waits for a prompt, photographs it into `picture` and answers it with
    // `actions` (with none, it must go by itself) once the second in which a
    // prompt ignores its positive button is over; true once it has gone.
    bool handlePrompt(const std::filesystem::path& picture,
                      const std::vector<std::string>& actions) const;

    // The whole screen as a PNG.
    void screenshot(const std::filesystem::path& file) const;

  private:
    std::unique_ptr<tavrin::testing::Child> server_;
    std::string display_;
    std::string busFolder_;
    std::string busAddress_;
    pid_t busPid_ = -1;
};

}  // namespace tavrin::host::testing
