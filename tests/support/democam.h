// Runs the demo camera (tools/democam) for a test: a real lighttpd on a free loopback port
// serving the test card at the snapshot path behind Digest authentication.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class DemoCamera {
public:
    /// Starts tools/democam with the build's test card program and `args`, and waits up to 15 s
    /// for its "democam: address ..." line. `tmpdir`, when given, becomes its TMPDIR.
    /// Started() tells whether the line came.
    explicit DemoCamera(const std::vector<std::string>& args = {}, const std::string& tmpdir = "");
    /// Stops the camera, then kills whatever is left of its process group.
    ~DemoCamera();
    DemoCamera(const DemoCamera&) = delete;
    DemoCamera& operator=(const DemoCamera&) = delete;

    bool Started() const { return port > 0; }

    /// Sends `signal` to the script alone (not its server) and returns its exit status, or
    /// nullopt when it has not ended within 5 s.
    std::optional<int> Stop(int signal);
    /// Waits up to 15 s for the script to end by itself; its exit status, or nullopt.
    std::optional<int> Exit();

    /// From the announced line: the port on 127.0.0.1 and the credentials it accepts.
    int port = 0;
    std::string user, password;
    /// The whole line as printed, for messages.
    std::string announcement;

private:
    void ReadAnnouncement();
    bool WaitForExit(std::chrono::milliseconds limit);

    pid_t pid_ = -1;    // the script, until it has been waited for
    pid_t group_ = -1;  // its process group, which holds its server too
    int output_ = -1;
    int exitStatus_ = -1;
};
