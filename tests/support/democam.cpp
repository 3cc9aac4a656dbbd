#include "tests/support/democam.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

DemoCamera::DemoCamera(const std::vector<std::string>& args, const std::string& tmpdir) {
    std::vector<std::string> argv = {CAMVIEW_SOURCE_DIR "/tools/democam", "--cgi",
                                     CAMVIEW_BINARY_DIR "/tools/testcard/camview-testcard"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (tmpdir.empty() || std::string(*e).rfind("TMPDIR=", 0) != 0) env.push_back(*e);
    if (!tmpdir.empty()) env.push_back("TMPDIR=" + tmpdir);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A signal ignored when a shell starts cannot be trapped by it, so the script gets defaults.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGPIPE, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    // Its own process group, so that the destructor can reach a server the script left behind.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    auto cArgs = Pointers(argv), cEnv = Pointers(env);
    if (posix_spawn(&pid_, argv[0].c_str(), &actions, &attr, cArgs.data(), cEnv.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    output_ = out[0];
    if (pid_ > 0) {
        group_ = pid_;
        ReadAnnouncement();
    }
}

DemoCamera::~DemoCamera() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!WaitForExit(5s)) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // Whatever the script failed to stop must not outlive the test.
    if (group_ > 0) kill(-group_, SIGKILL);
    if (output_ >= 0) close(output_);
}

std::optional<int> DemoCamera::Stop(int signal) {
    if (pid_ <= 0) return std::nullopt;
    kill(pid_, signal);
    if (!WaitForExit(5s)) return std::nullopt;
    pid_ = -1;
    return exitStatus_;
}

std::optional<int> DemoCamera::Exit() {
    if (pid_ <= 0 || !WaitForExit(15s)) return std::nullopt;
    pid_ = -1;
    return exitStatus_;
}

void DemoCamera::ReadAnnouncement() {
    const auto deadline = Clock::now() + 15s;
    std::string text;
    while (Clock::now() < deadline && text.find('\n') == std::string::npos) {
        pollfd p{output_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0) break;  // the script ended without announcing itself
        text.append(buffer, n);
    }
    announcement = text.substr(0, text.find('\n'));
    // "democam: address 127.0.0.1 port N user U password P"
    std::istringstream words(announcement);
    std::string prefix, addressWord, address, portWord, userWord, passwordWord;
    words >> prefix >> addressWord >> address >> portWord >> port >> userWord >> user >> passwordWord >> password;
    if (!words || prefix != "democam:" || address != "127.0.0.1") port = 0;
}

bool DemoCamera::WaitForExit(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < deadline) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}
