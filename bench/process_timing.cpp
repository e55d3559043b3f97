// Process timing of the real executable over pipes against the echo host:
// start to the status reply and to process exit, per process; status
// requests per second on one process; and, with a grant already stored, the
// listing through the executable (per process and on a running host).
//
//   bench_process OUT.json HOST ECHO HOME [LIST_HOME...]
// Each LIST_HOME holds an NSS database and a grant for kGrantedOrigin; its
// folder name ends in the number of identities. BENCH_RUNS (default 200)
// sets the process starts per row.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "bench_report.h"
#include "child_process.h"

namespace tavrin::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kExtension = "chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/";
constexpr const char* kStatus = R"({"id":"s","method":"status","params":{}})";
constexpr const char* kListing =
    R"({"id":"l","method":"listCertificates","params":{"origin":"https://bench.example","purpose":"any"}})";

struct StartTimes {
    std::vector<double> toReply;
    std::vector<double> toExit;
};

// One process: started, asked `request` once, its input closed.
void timeOnce(const std::string& program, const std::string& home, const std::string& request,
              StartTimes& times) {
    const auto start = Clock::now();
    ChildProcess child(program, {kExtension}, hostEnvironment(home));
    child.send(request);
    const std::string reply = child.receive();
    const auto replied = Clock::now();
    const int status = child.finish();
    const auto exited = Clock::now();
    if (status != 0 || reply.find("\"error\"") != std::string::npos)
        throw std::runtime_error(program + " answered " + reply + ", exit status " +
                                 std::to_string(status));
    times.toReply.push_back(elapsedMicroseconds(start, replied));
    times.toExit.push_back(elapsedMicroseconds(start, exited));
}

// Requests per second over `count` status requests on one process, each
// sent once the previous reply arrived (as a connected extension does).
double statusRate(const std::string& program, const std::string& home, int count) {
    ChildProcess child(program, {kExtension}, hostEnvironment(home));
    child.send(kStatus);
    child.receive();  // the start is not part of the rate
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        child.send(kStatus);
        child.receive();
    }
    const auto end = Clock::now();
    child.finish();
    return count / std::chrono::duration<double>(end - start).count();
}

std::vector<double> listingsOnOneHost(const std::string& program, const std::string& home,
                                      int count) {
    ChildProcess child(program, {kExtension}, hostEnvironment(home));
    std::vector<double> times;
    child.send(kListing);
    child.receive();  // the first opens the database
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        child.send(kListing);
        const std::string reply = child.receive();
        times.push_back(elapsedMicroseconds(start, Clock::now()));
        if (reply.find("\"certificates\"") == std::string::npos)
            throw std::runtime_error("listing on a running host answered " + reply);
    }
    child.finish();
    return times;
}

int run(int argc, char** argv) {
    if (argc < 5) {
        std::cerr << "usage: bench_process OUT.json HOST ECHO HOME [LIST_HOME...]\n";
        return 2;
    }
    const std::string out = argv[1], host = argv[2], echo = argv[3], home = argv[4];
    const int runs = std::getenv("BENCH_RUNS") ? std::atoi(std::getenv("BENCH_RUNS")) : 200;
    Report report;

    // Bridge and floor alternate so that both see the same machine load.
    StartTimes bridge, floor;
    for (int i = 0; i < 3; ++i) {  // warm the page cache
        StartTimes ignored;
        timeOnce(host, home, kStatus, ignored);
        timeOnce(echo, home, kStatus, ignored);
    }
    for (int i = 0; i < runs; ++i) {
        timeOnce(host, home, kStatus, bridge);
        timeOnce(echo, home, kStatus, floor);
    }
    report.add("process_status_reply/bridge", bridge.toReply, "us");
    report.add("process_status_reply/floor", floor.toReply, "us");
    report.add("process_exit/bridge", bridge.toExit, "us");
    report.add("process_exit/floor", floor.toExit, "us");

    std::vector<double> bridgeRate, floorRate;
    for (int i = 0; i < 15; ++i) {
        bridgeRate.push_back(statusRate(host, home, 1000));
        floorRate.push_back(statusRate(echo, home, 1000));
    }
    report.add("status_rate/bridge", bridgeRate, "req/s");
    report.add("status_rate/floor", floorRate, "req/s");

    for (int i = 5; i < argc; ++i) {
        const std::string listHome = argv[i];
        const std::string count = std::filesystem::path(listHome).filename().string();
        const std::string identities = count.substr(count.find_last_of('-') + 1);
        StartTimes listing;
        for (int r = 0; r < std::max(runs / 4, 10); ++r)
            timeOnce(host, listHome, kListing, listing);
        report.add("process_list/" + identities + "/bridge", listing.toReply, "us");
        report.add("running_list/" + identities + "/bridge", listingsOnOneHost(host, listHome, 200),
                   "us");
    }
    report.write(out);
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_process", tavrin::bench::run, argc, argv);
}
