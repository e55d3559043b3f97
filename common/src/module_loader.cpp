#include "common/module_loader.h"

#include <dlfcn.h>

#include <system_error>

namespace tavrin::modules {

namespace fs = std::filesystem;

fs::path folder_holding(const void* address) {
    std::error_code error;
    Dl_info info{};
    if (::dladdr(address, &info) != 0 && info.dli_fname != nullptr && info.dli_fname[0] != '\0') {
        const fs::path path = fs::canonical(info.dli_fname, error);
        if (!error) return path.parent_path();
    }
    // The executable's own name may be one the current folder cannot
    // resolve (started through PATH): the kernel knows where it is.
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

std::vector<fs::path> candidates(const fs::path& folder, std::string_view file) {
    std::vector<fs::path> paths = {folder / file,
                                   (folder / ".." / "lib" / file).lexically_normal()};
#ifdef TAVRIN_PKGLIBDIR_FROM_BINDIR
    paths.push_back((folder / TAVRIN_PKGLIBDIR_FROM_BINDIR / file).lexically_normal());
#endif
    return paths;
}

fs::path first_existing(const std::vector<fs::path>& paths) {
    for (const fs::path& path : paths) {
        std::error_code ignored;
        if (fs::is_regular_file(path, ignored)) return path;
    }
    return paths.empty() ? fs::path() : paths.front();
}

Result<OpenedModule, std::string> open_first(const std::vector<fs::path>& paths, const char* entry,
                                             std::string_view what) {
    for (const fs::path& path : paths) {
        std::error_code ignored;
        if (!fs::is_regular_file(path, ignored)) continue;
        const std::string name = path.string();
        void* library = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = ::dlerror();
            return fail("cannot load " + name + ": " + (why ? why : "unknown error"));
        }
        void* found = ::dlsym(library, entry);
        if (found == nullptr) {
            return fail(name + " is not a Tavrin Bridge " + std::string(what) + " module (no " +
                        entry + ")");
        }
        return OpenedModule{name, found};
    }
    std::string where;
    for (const fs::path& path : paths)
        where += (where.empty() ? "" : " or ") + path.parent_path().string();
    const std::string file = paths.empty() ? std::string() : paths.front().filename().string();
    return fail("the " + std::string(what) + " module " + file + " is not in " + where);
}

std::string version_mismatch(const std::string& path, std::string_view what, std::uint32_t offered,
                             std::uint32_t wanted) {
    return path + " has " + std::string(what) + " interface version " + std::to_string(offered) +
           ", this program needs version " + std::to_string(wanted);
}

}  // namespace tavrin::modules
