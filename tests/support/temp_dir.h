#pragma once
// A fresh folder under the system's temporary directory, removed with all it
// holds when the object goes away. Host tests use it as the user's home.

#include <filesystem>
#include <string>

namespace tavrin::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // The XDG configuration folder of a home here.
    std::filesystem::path configHome() const { return path_ / ".config"; }

  private:
    std::filesystem::path path_;
};

// Whole-file helpers for fixtures; writing creates missing parent folders.
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);
// Every entry below `folder`, relative and sorted, files with their content:
// a snapshot to compare before and after.
std::string list_tree(const std::filesystem::path& folder);

}  // namespace tavrin::testing
