#pragma once
// A fresh folder under the system's temporary directory, removed with all it
// holds when the object goes away; tests use it as the user's home.

#include <filesystem>
#include <string>

namespace tavrin::host::testing {

class TempHome {
  public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path configHome() const { return path_ / ".config"; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
// Creates missing parent folders.
void writeFile(const std::filesystem::path& path, const std::string& content);
// Every entry below `folder`, relative, sorted: a snapshot to compare before and after.
std::string listTree(const std::filesystem::path& folder);

}  // namespace tavrin::host::testing
