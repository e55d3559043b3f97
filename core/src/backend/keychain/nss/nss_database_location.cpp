#include "nss_database_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tavrin::keychain {
namespace {

bool is_directory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string nss_database_dir(const NssDatabaseHome& where) {
    if (is_directory(where.home + "/.pki")) return where.home + "/.pki/nssdb";
    const bool data_home_usable = !where.xdg_data_home.empty() && where.xdg_data_home[0] == '/';
    std::string data_home = data_home_usable ? where.xdg_data_home : where.home + "/.local/share";
    while (data_home.size() > 1 && data_home.back() == '/')
        data_home.pop_back();
    return data_home + "/pki/nssdb";
}

std::string user_nss_database_dir() {
    std::string home = environment("HOME");
    if (home.empty() || home[0] != '/') {
        home.clear();
        if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
            home = entry->pw_dir;
    }
    return nss_database_dir({home, environment("XDG_DATA_HOME")});
}

}  // namespace tavrin::keychain
