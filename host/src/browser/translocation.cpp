#include "browser/translocation.h"

namespace tavrin::host {

bool AppTranslocationDetector::isTranslocated(std::string_view path) {
    return path.find("/AppTranslocation/") != std::string_view::npos;
}

}  // namespace tavrin::host
