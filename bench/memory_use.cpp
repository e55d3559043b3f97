// Peak and current resident memory (VmHWM, VmRSS from /proc/PID/status) of
// the real executable: once it answered "status" (the UI module not
// loaded), against the echo host; and while it shows the consent dialog on
// a private Xvfb (skipped, with the reason, when Xvfb cannot start).
//
//   bench_memory OUT.json HOST ECHO HOME

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bench_report.h"
#include "child_process.h"
#include "support/xvfb.h"

namespace tavrin::bench {
namespace {

constexpr const char* kExtension = "chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/";
constexpr const char* kStatus = R"({"id":"s","method":"status","params":{}})";
constexpr const char* kNewOrigin =
    R"({"id":"l","method":"listCertificates","params":{"origin":"https://no-grant.example","purpose":"sign"}})";

struct Resident {
    double peakMiB = 0;
    double currentMiB = 0;
};

Resident residentOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    if (!in) throw std::runtime_error("reading /proc/" + std::to_string(pid) + "/status failed");
    Resident r;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        double kib = 0;
        fields >> key >> kib;
        if (key == "VmHWM:") r.peakMiB = kib / 1024;
        if (key == "VmRSS:") r.currentMiB = kib / 1024;
    }
    return r;
}

void afterStatus(const std::string& program, const std::string& home, Resident& into) {
    ChildProcess child(program, {kExtension}, hostEnvironment(home));
    child.send(kStatus);
    child.receive();
    into = residentOf(child.pid());
    child.finish();
}

int run(int argc, char** argv) {
    if (argc < 5) {
        std::cerr << "usage: bench_memory OUT.json HOST ECHO HOME\n";
        return 2;
    }
    const std::string out = argv[1], host = argv[2], echo = argv[3], home = argv[4];
    Report report;

    std::vector<double> bridgePeak, bridgeNow, floorPeak, floorNow;
    for (int i = 0; i < 15; ++i) {
        Resident bridge, floor;
        afterStatus(host, home, bridge);
        afterStatus(echo, home, floor);
        bridgePeak.push_back(bridge.peakMiB);
        bridgeNow.push_back(bridge.currentMiB);
        floorPeak.push_back(floor.peakMiB);
        floorNow.push_back(floor.currentMiB);
    }
    report.add("memory_status_peak/bridge", bridgePeak, "MiB");
    report.add("memory_status_peak/floor", floorPeak, "MiB");
    report.add("memory_status_rss/bridge", bridgeNow, "MiB");
    report.add("memory_status_rss/floor", floorNow, "MiB");

    try {
        host::testing::Xvfb xvfb;
        std::vector<double> peak, now;
        for (int i = 0; i < 5; ++i) {
            auto env = hostEnvironment(home);
            env["DISPLAY"] = xvfb.display();
            ChildProcess child(host, {kExtension}, env);
            child.send(kNewOrigin);
            if (xvfb.waitForWindow(std::chrono::seconds(60)).empty())
                throw std::runtime_error("the consent dialog did not appear");
            // Let the first frame settle before reading the peak.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const Resident r = residentOf(child.pid());
            peak.push_back(r.peakMiB);
            now.push_back(r.currentMiB);
            child.kill();
            xvfb.waitForNoWindow(std::chrono::seconds(10));
        }
        report.add("memory_dialog_peak/bridge", peak, "MiB");
        report.add("memory_dialog_rss/bridge", now, "MiB");
    } catch (const std::exception& e) {
        report.skip("memory_dialog_peak/bridge", e.what());
    }
    report.write(out);
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_memory", tavrin::bench::run, argc, argv);
}
