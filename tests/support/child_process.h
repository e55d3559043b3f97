#pragma once
// The one way tests and benchmarks run another program: its arguments and
// environment; each standard stream a pipe to us, /dev/null, a log file or
// ours; optionally a process group of its own (signalled as a whole) and an
// end by the kernel when we die first.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::testing {

enum class Stream { inherit, pipe, null, log };
// isolated: ours without HOME, XDG_*, DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM, so that no child reads the developer's files or shows a
// window on the developer's screen.
enum class Environment { inherit, isolated, empty };

struct ChildSpec {
    std::vector<std::string> argv;  // argv[0] is the program, looked up on PATH without a '/'
    Environment base = Environment::inherit;
    std::map<std::string, std::string> env = {};  // set on top of `base`
    Stream in = Stream::inherit;
    Stream out = Stream::inherit;
    Stream err = Stream::inherit;
    std::filesystem::path log = {};  // where Stream::log writes (truncated)
    bool ownGroup = false;
    bool dieWithUs = false;
    // When the object goes away: SIGTERM, up to this long, then SIGKILL.
    std::chrono::milliseconds grace{0};
};

class Child {
  public:
    // Throws std::runtime_error naming the step that failed.
    explicit Child(ChildSpec spec);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    int in() const { return in_; }
    int out() const { return out_; }
    int err() const { return err_; }
    void closeIn();
    void closeOut();

    // Writes all of `bytes` to the child's input; stops quietly when the
    // child no longer reads (the caller judges by what comes back).
    void send(const std::string& bytes);
    // The payload of the next native-messaging frame on the child's output;
    // nothing when the output ends or no whole frame arrives within `limit`.
    std::optional<std::string> receiveFrame(
        std::chrono::milliseconds limit = std::chrono::minutes(1));
    // The rest of the child's output (frames not yet received included),
    // read until it ends.
    std::string readOut();

    bool running();
    // True once the child has exited; waits at most `limit` when given.
    bool wait(std::optional<std::chrono::milliseconds> limit = std::nullopt);
    int exitStatus() const { return exitStatus_; }  // -1 unless it exited normally
    int termSignal() const { return termSignal_; }  // the signal that ended it, or 0
    // To the whole group when the child has one.
    void signal(int number) const;
    // SIGTERM, the grace period, SIGKILL; reaps the child.
    void stop();

  private:
    ChildSpec spec_;
    pid_t pid_ = -1;
    bool exited_ = false;
    bool stopped_ = false;
    int exitStatus_ = -1;
    int termSignal_ = 0;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string pending_;
};

// One length-prefixed frame.
std::string frame(const std::string& payload);
// The payloads of the frames in `stream`; a trailing partial frame is kept
// as the last element prefixed with "<partial>".
std::vector<std::string> unframe(const std::string& stream);
// What a shell command writes to its standard output, once it has ended.
std::string shellOutput(const std::string& command);
// Everything `fd` gives until it ends.
std::string drain(int fd);
// Writes all of `bytes` to `fd`, or as much as the reader takes.
void writeAll(int fd, const std::string& bytes);

}  // namespace tavrin::testing
