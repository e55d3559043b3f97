// The per-user folders derived from HOME and the XDG variables.

#include "platform/app_paths.h"

#include <gtest/gtest.h>

namespace tavrin::host {
namespace {

TEST(BrowserAppPaths, XdgValuesCountOnlyWhenAbsolute) {
    using O = std::optional<std::string>;
    const struct {
        EnvironmentValues environment;
        const char* config;
        const char* data;
    } cases[] = {
        {{"/home/u", std::nullopt, std::nullopt}, "/home/u/.config", "/home/u/.local/share"},
        {{"/home/u", O{"/xdg/data"}, O{"/xdg/conf"}}, "/xdg/conf", "/xdg/data"},
        {{"/home/u", O{"rel/data"}, O{"rel/conf"}}, "/home/u/.config", "/home/u/.local/share"},
        // No usable home: no folders at all rather than ones below the working directory.
        {{O{"relative"}, std::nullopt, std::nullopt}, "", ""},
        {{std::nullopt, O{"/xdg/data"}, std::nullopt}, "", "/xdg/data"},
    };
    for (const auto& c : cases) {
        const AppPaths paths(c.environment);
        EXPECT_EQ(paths.configHome(), c.config);
        EXPECT_EQ(paths.dataHome(), c.data);
        const std::filesystem::path data = c.data;
        EXPECT_EQ(paths.applicationDataDirectory(),
                  data.empty() ? data : data / "cz.tavrin.bridge");
    }
}

}  // namespace
}  // namespace tavrin::host
