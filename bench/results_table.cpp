// Reads the JSON results of every benchmark driver (Google Benchmark's
// --benchmark_out format, which the plain drivers write too) and prints one
// markdown table: each measurement's median with its p10-p90 spread, its
// floor from the same run, the ratio and the goal where there is one.
//
//   bench_table RESULTS.json...

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Stats {
    double median = NAN, p10 = NAN, p90 = NAN;
    std::string unit;
    std::string skipped;
};

struct Row {
    std::optional<Stats> bridge;
    std::optional<Stats> floor;
};

struct Description {
    std::string what;
    std::string path;
    // Largest acceptable bridge/floor ratio, or bridge value when `absolute`.
    double goal = 0;
    bool absolute = false;
    bool higherIsBetter = false;
};

// The measurement's key ("nss_sign/rsa2048x1") and side ("bridge" or
// "floor") from a run name such as "nss_sign/rsa2048x1/bridge/repeats:15/real_time".
bool splitName(const std::string& name, std::string& key, std::string& side) {
    std::vector<std::string> parts;
    std::stringstream in(name);
    for (std::string part; std::getline(in, part, '/');)
        parts.push_back(part);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "bridge" || parts[i] == "floor") {
            side = parts[i];
            key.clear();
            for (std::size_t j = 0; j < i; ++j)
                key += (j ? "/" : "") + parts[j];
            return true;
        }
    }
    return false;
}

std::string field(const std::string& key, std::size_t index) {
    std::stringstream in(key);
    std::string part;
    for (std::size_t i = 0; i <= index && std::getline(in, part, '/'); ++i) {
    }
    return part;
}

std::string signCase(const std::string& c) {
    // "rsa2048x50" -> "RSA-2048, 50 hashes"
    const auto x = c.find('x');
    const std::string key = c.substr(0, x) == "rsa2048" ? "RSA-2048" : "P-256";
    const std::string n = c.substr(x + 1);
    return key + ", " + n + (n == "1" ? " hash" : " hashes");
}

std::string identities(const std::string& count) {
    return count + (count == "1" ? " identity" : " identities");
}

Description describe(const std::string& key) {
    const std::string group = field(key, 0);
    const std::string arg = field(key, 1);
    const std::string pipes = "executable over pipes";
    const std::string nss = "in-process C interface, keychain form (prompts answered at once)";
    const std::string p11 =
        "in-process C interface, PKCS#11 form over SoftHSM2 (PIN supplied at once)";
    if (group == "process_status_reply")
        return {"host start → status reply, per process", pipes + "; floor: echo_host.c", 2.0};
    if (group == "chromium_status_reply")
        return {"sendNativeMessage status round trip in headless Chromium",
                "extension page, one host process per call; floor: echo_host.c", 1.2};
    if (group == "process_exit")
        return {"host start → exit after one status, per process", pipes + "; floor: echo_host.c"};
    if (group == "status_rate")
        return {"1000 status requests on one process", pipes + "; floor: echo_host.c", 1.5, false,
                true};
    if (group == "process_list")
        return {"host start → listing reply, " + identities(arg) + " (grant stored)", pipes};
    if (group == "running_list")
        return {"listing on a running host, " + identities(arg) + " (grant stored)", pipes};
    if (group == "nss_list")
        return {"listing, " + identities(arg) + " (NSS)", nss + "; floor: PK11_ListCerts", 1.5};
    if (group == "nss_sign")
        return {"sign " + signCase(arg) + " (NSS)",
                nss + "; floor: PK11_FindKeyByAnyCert + PK11_Sign", 1.10};
    if (group == "p11_list")
        return {"listing, " + arg + " token certificates (PKCS#11)",
                p11 + "; floor: C_FindObjects + C_GetAttributeValue", 1.5};
    if (group == "p11_sign")
        return {"sign " + signCase(arg) + " (PKCS#11)",
                p11 +
                    "; floor: C_OpenSession, C_Login, C_FindObjects, C_SignInit/C_Sign per hash, "
                    "C_Logout",
                1.10};
    if (group == "token_list")
        return {"listing, " + arg + " token identities through the identity store (PIN not needed)",
                nss + "; floor: C_FindObjects + C_GetAttributeValue on the token", 1.5};
    if (group == "token_sign")
        return {
            "sign " + signCase(arg) + " with a token key through the identity store, PIN entered",
            nss +
                "; floor: C_OpenSession, C_Login, C_FindObjects, C_SignInit/C_Sign, "
                "C_Logout",
            1.10};
    if (group == "card_process_list")
        return {"host start → listing reply, a card through OpenSC and pcscd (grant stored)",
                pipes +
                    "; virtual CAC card; floor: p11-kit modules, C_FindObjects + "
                    "C_GetAttributeValue per token (card_walk.c)",
                1.10};
    if (group == "memory_status_peak")
        return {"peak resident (VmHWM), host that answered status", pipes + "; floor: echo_host.c"};
    if (group == "memory_status_rss")
        return {"resident (VmRSS), idle host that answered status", pipes + "; floor: echo_host.c",
                8.0, true};
    if (group == "memory_dialog_peak")
        return {"peak resident (VmHWM), host showing the consent dialog", pipes + " + Xvfb"};
    if (group == "memory_dialog_rss")
        return {"resident (VmRSS), host showing the consent dialog", pipes + " + Xvfb"};
    return {key, ""};
}

std::string number(double v) {
    char text[32];
    const double a = std::fabs(v);
    std::snprintf(text, sizeof text, a >= 100 ? "%.0f" : a >= 10 ? "%.1f" : "%.2f", v);
    return text;
}

std::string cell(const std::optional<Stats>& s) {
    if (!s) return "—";
    if (!s->skipped.empty()) return "skipped: " + s->skipped;
    return number(s->median) + " " + s->unit + " (" + number(s->p10) + "–" + number(s->p90) + ")";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> order;
    std::map<std::string, Row> rows;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i]);
        const auto doc = nlohmann::json::parse(in, nullptr, false);
        if (doc.is_discarded() || !doc.contains("benchmarks")) {
            std::cerr << "bench_table: " << argv[i] << " holds no benchmark results\n";
            continue;
        }
        for (const auto& entry : doc["benchmarks"]) {
            std::string key, side;
            if (!splitName(entry.value("run_name", entry.value("name", "")), key, side)) continue;
            if (!rows.count(key)) order.push_back(key);
            auto& slot = side == "bridge" ? rows[key].bridge : rows[key].floor;
            if (!slot) slot = Stats{};
            if (entry.contains("skipped")) {
                slot->skipped = entry["skipped"].get<std::string>();
                continue;
            }
            const std::string statistic = entry.value("aggregate_name", "");
            const double value = entry.value("real_time", NAN);
            slot->unit = entry.value("time_unit", "");
            if (statistic == "median") slot->median = value;
            if (statistic == "p10") slot->p10 = value;
            if (statistic == "p90") slot->p90 = value;
        }
    }

    std::cout << "| measurement | path | bridge: median (p10–p90) | floor: median (p10–p90) | "
                 "ratio | goal |\n|---|---|---|---|---|---|\n";
    for (const auto& key : order) {
        const Row& row = rows[key];
        const Description d = describe(key);
        std::string ratio = "—", goal = "—";
        const bool measured = row.bridge && row.bridge->skipped.empty();
        if (measured && row.floor && row.floor->skipped.empty()) {
            // Always expressed as the bridge's cost over the floor's: time,
            // memory, or time per request for rates.
            const double r = d.higherIsBetter ? row.floor->median / row.bridge->median
                                              : row.bridge->median / row.floor->median;
            ratio = number(r) + "×";
            if (d.goal > 0 && !d.absolute)
                goal = "≤ " + number(d.goal) + "×: " + (r <= d.goal ? "met" : "**missed**");
        }
        if (measured && d.absolute)
            goal = "< " + number(d.goal) + " " + row.bridge->unit + ": " +
                   (row.bridge->median < d.goal ? "met" : "**missed**");
        std::cout << "| " << d.what << " | " << d.path << " | " << cell(row.bridge) << " | "
                  << cell(row.floor) << " | " << ratio << " | " << goal << " |\n";
    }
    return 0;
}
