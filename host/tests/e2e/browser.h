#pragma once
// A real browser with the test extension loaded, as the end-to-end tests
// drive it: open the extension's page with a query that names a flow, and
// wait for the outcome the page publishes.

#include <chrono>
#include <string>

namespace tavrin::host::testing {

struct FlowOutcome {
    std::string json;           // what the page published, "" when nothing came in time
    bool browserAlive = false;  // the browser still ran (and answered) after the flow
};

class Browser {
  public:
    virtual ~Browser() = default;
    // `query` is the page's query string without "?", already percent-encoded.
    virtual FlowOutcome runFlow(const std::string& query, std::chrono::seconds limit) = 0;
};

// Where the extension publishes: the page's title and, in Firefox, a line of
// standard output; both begin with this.
inline constexpr const char* outcomePrefix = "done:";

}  // namespace tavrin::host::testing
