#pragma once
// A private D-Bus session bus for tests that read the accessibility tree
// (AT-SPI): Qt programs given environment() publish their widgets on it,
// tree() prints what a screen reader would see. The bus and the
// accessibility bus it starts end with the object; both keep their sockets
// in a runtime folder of their own, so that tests can run side by side.

#include <sys/types.h>

#include <map>
#include <string>

namespace tavrin::host::testing {

class AccessibilityBus {
  public:
    AccessibilityBus();  // throws std::runtime_error when dbus-daemon does not start
    ~AccessibilityBus();
    AccessibilityBus(const AccessibilityBus&) = delete;
    AccessibilityBus& operator=(const AccessibilityBus&) = delete;

    // The variables that make a Qt program on `display` publish its tree here.
    std::map<std::string, std::string> environment(const std::string& display) const;

    // One object a line: two spaces per level, "role<TAB>name<TAB>x,y,w,h"
    // (screen coordinates; empty for an object without extents).
    std::string tree(const std::string& display) const;

  private:
    std::string runtimeFolder_;
    std::string address_;
    pid_t pid_ = -1;
};

}  // namespace tavrin::host::testing
