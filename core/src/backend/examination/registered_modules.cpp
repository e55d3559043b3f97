#include "backend/examination/registered_modules.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace tavrin::examination {
namespace {

namespace fs = std::filesystem;

#ifndef TAVRIN_P11KIT_SYSTEM_MODULES
#define TAVRIN_P11KIT_SYSTEM_MODULES "/usr/share/p11-kit/modules"
#endif
#ifndef TAVRIN_P11KIT_CONFIG_MODULES
#define TAVRIN_P11KIT_CONFIG_MODULES "/etc/pkcs11/modules"
#endif
#ifndef TAVRIN_P11KIT_MODULE_PATH
#define TAVRIN_P11KIT_MODULE_PATH "/usr/lib/pkcs11"
#endif

// The name p11-kit matches "enable-in" and "disable-in" against.
constexpr std::string_view kProgramName = "tavrin-bridge";

std::string trimmed(std::string text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

std::string unquoted(std::string text) {
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
        return text.substr(1, text.size() - 2);
    return text;
}

bool lists(const std::string& names, std::string_view wanted) {
    std::stringstream stream(names);
    std::string name;
    while (std::getline(stream, name, ','))
        if (trimmed(name) == wanted) return true;
    return false;
}

std::string home_dir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

fs::path user_module_folder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const fs::path base =
        config != nullptr && config[0] == '/' ? fs::path(config) : fs::path(home_dir()) / ".config";
    return base / "pkcs11" / "modules";
}

// "key: value" lines; '#' starts a comment.
std::map<std::string, std::string> module_file_fields(const fs::path& file) {
    std::map<std::string, std::string> fields;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const std::string text = trimmed(line);
        if (text.empty() || text.front() == '#') continue;
        const auto colon = text.find(':');
        if (colon == std::string::npos) continue;
        fields[trimmed(text.substr(0, colon))] = trimmed(text.substr(colon + 1));
    }
    return fields;
}

}  // namespace

std::vector<RegisteredModule> database_modules(const fs::path& database_dir) {
    std::vector<RegisteredModule> modules;
    const fs::path list = database_dir / "pkcs11.txt";
    std::ifstream in(list);
    RegisteredModule current;
    const auto finish = [&] {
        if (!current.library.empty()) {
            current.source = list.string();
            modules.push_back(current);
        }
        current = {};
    };
    std::string line;
    while (std::getline(in, line)) {
        const std::string text = trimmed(line);
        if (text.empty()) {
            finish();
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = text.substr(0, equals);
        if (key == "library") current.library = unquoted(text.substr(equals + 1));
        if (key == "name") current.name = unquoted(text.substr(equals + 1));
    }
    finish();
    return modules;
}

std::vector<ModuleFolder> p11kit_module_folders() {
    // p11-kit reads no user configuration for root.
    return {{TAVRIN_P11KIT_SYSTEM_MODULES, true},
            {TAVRIN_P11KIT_CONFIG_MODULES, true},
            {user_module_folder().string(), ::getuid() != 0}};
}

std::vector<RegisteredModule> p11kit_modules() {
    std::map<std::string, RegisteredModule> by_name;  // later folders replace earlier ones
    for (const ModuleFolder& folder : p11kit_module_folders()) {
        if (!folder.read) continue;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder.path, error)) {
            if (entry.path().extension() != ".module" || !entry.is_regular_file(error)) continue;
            const auto fields = module_file_fields(entry.path());
            RegisteredModule module;
            module.name = entry.path().stem().string();
            module.source = entry.path().string();
            if (const auto found = fields.find("module"); found != fields.end()) {
                const fs::path library(found->second);
                module.library = library.is_absolute()
                                     ? library.string()
                                     : (fs::path(TAVRIN_P11KIT_MODULE_PATH) / library).string();
            }
            if (const auto found = fields.find("trust-policy"); found != fields.end())
                module.trust_only = found->second == "yes";
            if (const auto found = fields.find("enable-in");
                found != fields.end() && !lists(found->second, kProgramName)) {
                module.disabled = "enabled only in " + found->second;
            }
            if (const auto found = fields.find("disable-in");
                found != fields.end() && lists(found->second, kProgramName)) {
                module.disabled = "disabled in " + std::string(kProgramName);
            }
            by_name[module.name] = module;
        }
    }
    std::vector<RegisteredModule> modules;
    for (auto& [name, module] : by_name)
        modules.push_back(std::move(module));
    return modules;
}

}  // namespace tavrin::examination
