// A real lighttpd for tests: started on a free loopback port with its own configuration and
// document root in a temporary folder, stopped and removed in the destructor.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>

class LighttpdServer {
public:
    enum class Auth { None, Basic, Digest };

    struct Options {
        Auth auth = Auth::None;
        std::string algorithms = "MD5";  // Digest: "MD5", "SHA-256" or "SHA-256|MD5"
        std::string user = "admin";
        std::string password = "secret";
        std::map<std::string, std::string> files;  // path under the document root -> content
    };

    /// Returns once the server accepts connections; raises std::runtime_error (with lighttpd's
    /// error log) when it cannot be started.
    explicit LighttpdServer(const Options& options);
    ~LighttpdServer();
    LighttpdServer(const LighttpdServer&) = delete;
    LighttpdServer& operator=(const LighttpdServer&) = delete;

    int Port() const { return port_; }

private:
    bool Start(const Options& options);
    void Stop();

    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};
