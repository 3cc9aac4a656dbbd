// Figures that need a process of their own: peak memory while showing one snapshot, and the
// time from process start to the first painted window.
#include "bench/benches.h"

#include "bench/timing.h"
#include "tests/support/lighttpd_server.h"
#include "platform/application.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

extern char** environ;

namespace {

// A field of /proc/self/status, in KiB.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Runs `self` with `args` and returns what it printed.
std::string RunChild(const std::string& self, std::vector<std::string> args) {
    args.insert(args.begin(), self);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid;
    if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("spawn failed");
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("child failed: " + args[1]);
    return text;
}

std::string File(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

int MemoryChild(int width, int warmPort, int port) {
    int argc = 1;
    char name[] = "camview-bench";
    char* argv[] = {name, nullptr};
    TApplication application(argc, argv);
    application.Initialize();
    std::string error;
    application.MessageSink = [&](const std::string& m) { error = m; };
    TForm1 form(nullptr);
    ShowExposed(form);
    auto show = [&](int from) {
        form.Edit1->SetText("127.0.0.1");
        form.Edit2->SetText(std::to_string(from));
        form.Button1->Click();
        form.Image1->Widget()->repaint();
        QApplication::processEvents();
    };
    // The program's steady state: a small snapshot already shown, every library initialised.
    show(warmPort);
    const long baseline = StatusKiB("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";  // the high-water mark starts again from here
    show(port);
    if (!error.empty()) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
    if (form.Image1->Picture()->Graphic()->Width() != width || !ShowsDecodedPicture(*form.Image1)) return 1;
    std::printf("%ld %ld\n", baseline, StatusKiB("VmHWM:"));
    return 0;
}

int StartupChild(double parentStartMs) {
    int argc = 1;
    char name[] = "camview-bench";
    char* argv[] = {name, nullptr};
    TApplication application(argc, argv);
    application.Initialize();
    application.CreateForm(&Form1);
    // An event filter sees the window's first paint arrive; the timer fires once it is done.
    struct FirstPaint : QObject {
        double start;
        bool seen = false;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint && !seen) {
                seen = true;
                QTimer::singleShot(0, [this] {
                    std::printf("%.3f\n", NowMs() - start);
                    QApplication::quit();
                });
            }
            return false;
        }
    } watcher;
    watcher.start = parentStartMs;
    Form1->Window()->installEventFilter(&watcher);
    application.Run();
    Form1 = nullptr;
    return 0;
}

void ProcessBenches(const std::string& self, const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows) {
    constexpr double kMiB = 1024.0 * 1024.0;
    LighttpdServer::Options warmOptions;
    warmOptions.files["/cgi-bin/viewer/video.jpg"] = File(MakeSnapshots({"640x480"}).front().jpeg);
    LighttpdServer warm(warmOptions);
    for (const Snapshot& s : snapshots) {
        LighttpdServer::Options options;
        options.files["/cgi-bin/viewer/video.jpg"] = File(s.jpeg);
        LighttpdServer camera(options);
        long baseline = 0, peak = 0;
        const std::string out = RunChild(self, {"--memory-child", std::to_string(s.width),
                                                std::to_string(warm.Port()), std::to_string(camera.Port())});
        if (std::sscanf(out.c_str(), "%ld %ld", &baseline, &peak) != 2) throw std::runtime_error("memory child: " + out);
        const double compressed = s.jpeg.size() / kMiB;
        const double bitmap = s.Pixels() * 3 / kMiB;
        const double copy = 321.0 * 241 * 4 / kMiB;
        const double base = baseline / 1024.0;
        BenchRow row{"peak memory", s.Name(), peak / 1024.0, "MiB", base + compressed + bitmap,
                     "baseline + compressed + bitmap", base + 2 * compressed + 1.1 * bitmap + copy};
        row.limitIsRatio = false;
        rows.push_back(row);
    }

    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
        char start[32];
        std::snprintf(start, sizeof start, "%.3f", NowMs());
        times.push_back(std::stod(RunChild(self, {"--startup-child", start})));
    }
    std::sort(times.begin(), times.end());
    BenchRow row{"start-up to first paint", "window", times[times.size() / 2], "ms", 0, "", 200};
    row.limitIsRatio = false;
    rows.push_back(row);
}
