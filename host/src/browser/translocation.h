#pragma once
// Whether the program runs from a translocated (temporary, read-only) copy,
// whose path would be useless in a manifest.

#include <string_view>

namespace tavrin::host {

class AppTranslocationDetector {
  public:
    AppTranslocationDetector() = delete;

    // Linux has no translocation query, so the path rule decides: the path
    // contains "/AppTranslocation/".
    static bool isTranslocated(std::string_view path);
};

}  // namespace tavrin::host
