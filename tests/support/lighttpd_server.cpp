#include "tests/support/loopback.h"
#include "tests/support/lighttpd_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kLighttpd = "/usr/sbin/lighttpd";

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

LighttpdServer::LighttpdServer(const Options& options) {
    char pattern[] = "/tmp/camview-lighttpd-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    for (const auto& [path, content] : options.files) WriteFile(fs::path(dir_) / "www" / fs::path(path).relative_path(), content);
    fs::create_directories(fs::path(dir_) / "www");
    WriteFile(fs::path(dir_) / "users", options.user + ":" + options.password + "\n");
    // Another process may take the port between FreePort and lighttpd's bind: try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (Start(options)) return;
    }
    const std::string log = ReadFile(fs::path(dir_) / "error.log");
    fs::remove_all(dir_);
    throw std::runtime_error("lighttpd did not start: " + log);
}

LighttpdServer::~LighttpdServer() {
    Stop();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

bool LighttpdServer::Start(const Options& options) {
    port_ = FreeLoopbackPort();
    std::ostringstream config;
    config << "server.document-root = \"" << dir_ << "/www\"\n"
           << "server.bind = \"127.0.0.1\"\n"
           << "server.port = " << port_ << "\n"
           << "server.errorlog = \"" << dir_ << "/error.log\"\n"
           << "server.modules = (\"mod_auth\", \"mod_authn_file\")\n"
           << "mimetype.assign = (\".jpg\" => \"image/jpeg\", \".txt\" => \"text/plain\")\n";
    if (options.auth != Auth::None) {
        const bool digest = options.auth == Auth::Digest;
        // The plain backend knows the password itself, so it serves Basic and every Digest
        // algorithm alike.
        config << "auth.backend = \"plain\"\n"
               << "auth.backend.plain.userfile = \"" << dir_ << "/users\"\n"
               << "auth.require = ( \"/\" => ( \"method\" => \"" << (digest ? "digest" : "basic") << "\", "
               << "\"realm\" => \"camera\", \"require\" => \"valid-user\""
               << (digest ? ", \"algorithm\" => \"" + options.algorithms + "\"" : std::string()) << " ) )\n";
    }
    const std::string configPath = dir_ + "/lighttpd.conf";
    WriteFile(configPath, config.str());

    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        execl(kLighttpd, kLighttpd, "-D", "-f", configPath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {  // it gave up, most likely on the port
            pid_ = -1;
            return false;
        }
        if (LoopbackAccepts(port_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
    return false;
}

void LighttpdServer::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
