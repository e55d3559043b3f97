#pragma once
// The management application as a whole: the launch sequence, then the
// window of the user-interface module; and the window's preview.

#include <string>

namespace tavrin::host {

class ManagementApp {
  public:
    ManagementApp() = delete;

    // Runs until the window is closed; the process's exit status.
    static int run(const std::string& executablePath);

    // Writes the window's showcase to `outputPath` as PNG; 0, or 1 after one
    // line on standard error.
    static int renderPreview(const std::string& executablePath, const std::string& outputPath);
};

}  // namespace tavrin::host
