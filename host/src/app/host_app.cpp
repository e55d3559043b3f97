#include "app/host_app.h"

#include "app/core_worker.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "browser/browser_connector.h"
#include "browser/manifest_installer.h"
#include "browser/native_messaging_cli.h"
#include "diagnose/diagnose_command.h"
#include "dialogs/main_thread.h"
#include "dialogs/module_alert_runner.h"
#include "dialogs/prompt_dialogs.h"
#include "framing/file_handle_stream.h"
#include "framing/framing.h"
#include "framing/input_hangup_watcher.h"
#include "management/management_app.h"
#include "platform/file_ops.h"
#include "platform/process_protection.h"
#include "platform/thread_priority.h"

namespace tavrin::host {
namespace {

// How long a host whose page has gone waits for the core call in hand
// before it ends without it.
constexpr std::chrono::milliseconds abandonedCallGrace{500};

bool beginsWithDash(const std::string& argument) {
    return !argument.empty() && argument.front() == '-';
}

}  // namespace

std::string TavrinBridgeHostApp::consentStorePath(const AppPaths& paths) {
    const std::filesystem::path directory = paths.applicationDataDirectory();
    // Only the user may read or add grants: the folder is created 0700.
    (void)files::createDirectories(directory, 0700);
    return (directory / "consent.json").string();
}

CompletionSignal TavrinBridgeHostApp::startBackgroundSelfHeal(std::function<void()> connectAll) {
    return CompletionSignal(std::thread(std::move(connectAll)));
}

HostLoopEnd TavrinBridgeHostApp::runHostLoop(ByteReader& input, ByteWriter& output,
                                             DispatcherBridge& bridge, CoreWorker& worker,
                                             const std::function<bool()>& abandoned) {
    for (;;) {
        auto request = Framing::readMessage(input, Framing::maxRequestLength);
        if (!request) return HostLoopEnd::ended;
        std::vector<std::uint8_t> answer;
        if (!bridge.needsUser(request.value())) {
            // Nothing to show: this thread answers it at once.
            try {
                answer = bridge.handleRequest(request.value());
            } catch (...) {
                std::fprintf(stderr, "tavrin-bridge: a request failed: %s\n",
                             describeCurrentException().c_str());
                return HostLoopEnd::failed;
            }
        } else {
            // The core call runs on the worker; this thread serves its
            // prompts. The work owns its request and reply: when the page
            // has gone, the loop may end while the call still runs.
            auto payload = std::make_shared<std::vector<std::uint8_t>>(std::move(request).value());
            auto reply = std::make_shared<std::vector<std::uint8_t>>();
            const CoreWorker::Outcome outcome = worker.run(
                [&bridge, payload, reply] { *reply = bridge.handleRequest(*payload); }, abandoned);
            if (outcome.ended == CoreWorker::Ended::stopped) return HostLoopEnd::callLeftRunning;
            if (outcome.ended == CoreWorker::Ended::failed) {
                std::fprintf(stderr, "tavrin-bridge: a request failed: %s\n",
                             outcome.failure.c_str());
                return HostLoopEnd::failed;
            }
            if (abandoned()) return HostLoopEnd::abandoned;
            answer = std::move(*reply);
        }
        if (!Framing::writeMessage(answer, output, Framing::maxReplyLength))
            return HostLoopEnd::ended;
    }
}

int TavrinBridgeHostApp::runHost(const std::string& executablePath) {
    // A browser that goes away must end the loop through a failed write, not
    // kill the process before it has shut down in order.
    std::signal(SIGPIPE, SIG_IGN);
    // This mode alone handles PINs: keep them out of core files and out of
    // reach of other processes before the first request is read.
    if (const std::string problem = protectProcessMemory(); !problem.empty()) {
        std::fprintf(stderr, "tavrin-bridge: %s\n", problem.c_str());
    }

    const std::string consentPath = consentStorePath(AppPaths::fromProcess());
    // The prompts run on this thread, which also runs the loop; the
    // user-interface module is loaded only when the first prompt is shown.
    auto mainThread = std::make_shared<MainThreadExecutor>();
    auto dialogs =
        std::make_shared<PromptDialogs>(std::make_shared<ModuleAlertRunner>(), mainThread);
    auto bridge = DispatcherBridge::create(consentPath, dialogs);
    if (!bridge) {
        std::fputs(
            "tavrin-bridge: failed to initialize the identity store dispatcher (unreadable consent "
            "store?)\n",
            stderr);
        return 1;
    }

    CompletionSignal selfHeal = startBackgroundSelfHeal([executablePath] {
        // The browser waits for the first reply, not for this.
        yieldToForegroundWork();
        const auto installer = NativeMessagingManifestInstaller::withDefaultFolders(executablePath);
        BrowserConnector::connectAll(installer);
    });

    FileHandleReader input(STDIN_FILENO);
    FileHandleWriter output(STDOUT_FILENO);
    int status = 0;
    {
        CoreWorker worker(*mainThread);
        // The browser closes the input when the page or its port goes away:
        // a prompt open for it then closes, and later ones are not shown.
        // The watch starts with the first prompt: a host that only answers
        // starts no thread for it.
        std::optional<InputHangupWatcher> hangup;
        dialogs->beforeFirstPrompt([&hangup, &dialogs] {
            try {
                hangup.emplace(STDIN_FILENO, [&dialogs] { dialogs->abandon(); });
            } catch (const std::exception& error) {
                std::fprintf(stderr, "tavrin-bridge: the input is not watched: %s\n", error.what());
            }
        });
        const HostLoopEnd end = runHostLoop(input, output, *bridge, worker,
                                            [&dialogs] { return dialogs->abandonedPrompt(); });
        if (end == HostLoopEnd::failed) status = 1;
        if (dialogs->abandonedPrompt()) {
            std::fputs(
                "tavrin-bridge: the browser closed the connection; the prompt was cancelled and "
                "the request is left unanswered\n",
                stderr);
        }
        mainThread->close();  // nobody serves hand-overs any more
        if (end == HostLoopEnd::callLeftRunning && !worker.waitFinished(abandonedCallGrace)) {
            // The core call does not return (a card reader waiting at its
            // keypad), and the destructors would wait for it. Nothing is
            // lost by ending here: replies and diagnostics are written
            // unbuffered, and a consent grant is saved before its prompt's
            // call returns.
            std::fflush(nullptr);
            ::_exit(0);
        }
    }

    selfHeal.wait();
    bridge.reset();
    return status;
}

int TavrinBridgeHostApp::main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    const std::string executablePath = arguments.empty() ? std::string() : arguments[0];

    if (const auto status = DiagnoseCommand::run(arguments)) return *status;
    const auto installer = NativeMessagingManifestInstaller::withDefaultFolders(executablePath);
    if (const auto status = NativeMessagingCLI::run(arguments, installer)) return *status;

    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--render-preview") {
            return ManagementApp::renderPreview(executablePath, arguments[i + 1]);
        }
    }

    bool onlyOptions = true;
    for (std::size_t i = 1; i < arguments.size(); ++i)
        onlyOptions &= beginsWithDash(arguments[i]);
    if (onlyOptions) return ManagementApp::run(executablePath);

    return runHost(executablePath);
}

}  // namespace tavrin::host
