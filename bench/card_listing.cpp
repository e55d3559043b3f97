// A whole host process listing a smart card read by OpenSC through a real
// pcscd (the tests' virtual CAC card stack), against the least a program
// does for the same certificates through p11-kit (card_walk.c): start to
// the listing's reply, per process, the two alternating.
//
//   bench_card OUT.json HOST WALK
// BENCH_CARD_RUNS (default 20) sets the process starts per row: the virtual
// card answers each exchange in tens of milliseconds, so a start takes about
// two seconds.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "bench_report.h"
#include "child_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_card_stack.h"

namespace tavrin::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kExtension = "chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/";
constexpr const char* kListing =
    R"({"id":"l","method":"listCertificates","params":{"origin":"https://bench.example","purpose":"any"}})";

// Start to the first reply of one process that is asked `request`.
double timeOnce(const std::string& program, const std::map<std::string, std::string>& environment,
                const std::string& request, const std::string& expected) {
    const auto start = Clock::now();
    ChildProcess child(program, {kExtension}, environment);
    child.send(request);
    const std::string reply = child.receive();
    const auto replied = Clock::now();
    const int status = child.finish();
    if (status != 0 || reply.find(expected) == std::string::npos)
        throw std::runtime_error(program + " answered " + reply + ", exit status " +
                                 std::to_string(status));
    return elapsedMicroseconds(start, replied);
}

int run(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: bench_card OUT.json HOST WALK\n";
        return 2;
    }
    const std::string out = argv[1], host = argv[2], walk = argv[3];
    const char* runs_text = std::getenv("BENCH_CARD_RUNS");
    const int runs = runs_text != nullptr ? std::atoi(runs_text) : 20;
    if (const auto why = testing::VirtualCardStack::unavailable(TAVRIN_VIRTUAL_CARD_PROGRAM)) {
        std::cerr << "bench_card: no card stack here: " << *why << "\n";
        return 1;
    }
    testing::VirtualCardStack stack(TAVRIN_VIRTUAL_CARD_PROGRAM);

    // A home without an NSS database whose grant lets the origin list: the
    // card is reached through p11-kit's registration of OpenSC, as the walk
    // reaches it.
    const testing::TempDir home;
    const auto grants = home.path() / ".local/share/cz.tavrin.bridge";
    std::filesystem::create_directories(grants);
    std::ofstream(grants / "consent.json")
        << R"({"origins":{"https://bench.example":{"purposes":["sign","auth"],"grantedAtUnix":1767225600}}})";
    auto environment = hostEnvironment(home.path().string());
    for (const auto& [name, value] : stack.environment())
        environment[name] = value;

    const std::string holder = testing::VirtualCardStack::kHolder;
    for (int i = 0; i < 2; ++i) {  // warm the page cache
        timeOnce(host, environment, kListing, holder);
        timeOnce(walk, environment, "{}", "\"certificates\":");
    }
    std::vector<double> bridge, floor;
    for (int i = 0; i < runs; ++i) {
        bridge.push_back(timeOnce(host, environment, kListing, holder));
        floor.push_back(timeOnce(walk, environment, "{}", "\"certificates\":"));
    }
    Report report;
    report.add("card_process_list/bridge", bridge, "us");
    report.add("card_process_list/floor", floor, "us");
    report.write(out);
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_card", tavrin::bench::run, argc, argv);
}
