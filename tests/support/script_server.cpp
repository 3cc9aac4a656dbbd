#include "tests/support/script_server.h"

#include "platform/exception.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kTickMs = 20;  // how often blocked threads look at the stop flag

int BoundSocket(bool ipv6, int& port) {
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_storage storage{};
    socklen_t length;
    if (ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *a;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        close(fd);
        throw std::runtime_error("bind to loopback failed");
    }
    getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    port = ipv6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port)
                : ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    return fd;
}

/// Waits for `events` on `fd` for one tick; returns the events that came, 0 on none.
short WaitFor(int fd, short events) {
    pollfd p{fd, events, 0};
    return poll(&p, 1, kTickMs) > 0 ? p.revents : 0;
}

}  // namespace

ScriptedReply HttpReply(const std::string& status, const std::string& body, const std::string& headers) {
    ScriptedReply reply;
    reply.bytes = "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
                  "\r\n" + body;
    return reply;
}

std::string ScriptedRequest::RequestLine() const { return raw.substr(0, raw.find("\r\n")); }

std::vector<std::string> ScriptedRequest::Headers(const std::string& name) const {
    std::vector<std::string> values;
    std::size_t start = raw.find("\r\n");
    while (start != std::string::npos && start + 2 < raw.size()) {
        start += 2;
        const std::size_t end = raw.find("\r\n", start);
        const std::string line = raw.substr(start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            const std::size_t value = line.find_first_not_of(' ', name.size() + 1);
            values.push_back(value == std::string::npos ? "" : line.substr(value));
        }
        start = end;
    }
    return values;
}

std::string ScriptedRequest::Header(const std::string& name) const {
    const auto values = Headers(name);
    return values.empty() ? "" : values.front();
}

ScriptServer::ScriptServer(std::vector<ScriptedReply> replies, bool ipv6) : replies_(std::move(replies)) {
    Listen(ipv6);
}

ScriptServer::ScriptServer(Responder respond, bool ipv6) : respond_(std::move(respond)) { Listen(ipv6); }

void ScriptServer::Listen(bool ipv6) {
    listener_ = BoundSocket(ipv6, port_);
    if (listen(listener_, 16) != 0) throw std::runtime_error("listen failed");
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptServer::~ScriptServer() {
    stop_ = true;
    acceptor_.join();
    for (auto& thread : threads_) thread.join();  // the acceptor has stopped adding to them
    close(listener_);
}

std::vector<ScriptedRequest> ScriptServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int ScriptServer::Connections() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(closedByClient_.size());
}

void ScriptServer::HangUp(int index) {
    std::unique_lock lock(mutex_);
    if (index >= static_cast<int>(hangUps_.size())) return;
    hangUps_[index] = 1;
    changed_.wait_for(lock, std::chrono::seconds(1), [&] { return hangUps_[index] == 2; });
}

int ScriptServer::WaitForConnections(int count, int ms) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return static_cast<int>(closedByClient_.size()) >= count; });
    return static_cast<int>(closedByClient_.size());
}

bool ScriptServer::WaitClosedByClient(int index, int ms) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
        return index < static_cast<int>(closedByClient_.size()) && closedByClient_[index];
    });
}

void ScriptServer::MarkClosedByClient(int index) {
    std::lock_guard lock(mutex_);
    closedByClient_[index] = true;
    changed_.notify_all();
}

void ScriptServer::AcceptLoop() {
    while (!stop_) {
        if (!(WaitFor(listener_, POLLIN) & POLLIN)) continue;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int index;
        {
            std::lock_guard lock(mutex_);
            index = static_cast<int>(closedByClient_.size());
            closedByClient_.push_back(false);
            hangUps_.push_back(0);
            changed_.notify_all();
        }
        threads_.emplace_back([this, index, fd] { Serve(index, fd); });
    }
}

void ScriptServer::Serve(int index, int fd) {
    std::string pending;
    std::string raw;
    while (!stop_) {
        if (!ReadRequest(index, fd, pending, raw)) {
            std::lock_guard lock(mutex_);
            if (hangUps_[index] == 1) {
                // Closed before HangUp returns, so the client finds the connection gone.
                close(fd);
                fd = -1;
                hangUps_[index] = 2;
            } else if (!stop_) {
                closedByClient_[index] = true;
            }
            changed_.notify_all();
            break;
        }
        ScriptedRequest request{index, raw};
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            changed_.notify_all();
        }
        const ScriptedReply reply = NextReply(request);
        if (!Send(fd, reply)) {
            MarkClosedByClient(index);
            break;
        }
        if (reply.stall) {
            Hold(fd);
            if (!stop_) MarkClosedByClient(index);
            break;
        }
        if (reply.reset) {
            // A zero linger time makes close() send RST and drop what is still unsent.
            const linger abort{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            break;
        }
        if (reply.close) break;
    }
    if (fd >= 0) close(fd);
}

ScriptedReply ScriptServer::NextReply(const ScriptedRequest& request) {
    if (respond_) return respond_(request);
    std::lock_guard lock(mutex_);
    if (nextReply_ < replies_.size()) return replies_[nextReply_++];
    ScriptedReply none;
    none.close = true;
    return none;
}

bool ScriptServer::ReadRequest(int index, int fd, std::string& pending, std::string& request) {
    for (;;) {
        const std::size_t end = pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            request = pending.substr(0, end + 4);
            pending.erase(0, end + 4);
            return true;
        }
        if (stop_) return false;
        {
            std::lock_guard lock(mutex_);
            if (hangUps_[index]) return false;
        }
        if (!WaitFor(fd, POLLIN)) continue;
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

bool ScriptServer::Send(int fd, const ScriptedReply& reply) {
    auto sendAll = [&](const char* data, std::size_t size) {
        while (size > 0) {
            if (stop_) return false;
            if (!(WaitFor(fd, POLLOUT) & (POLLOUT | POLLERR | POLLHUP))) continue;
            const ssize_t n = send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    };
    if (reply.trickleMs > 0) {
        const std::size_t atOnce = std::min(reply.trickleFrom, reply.bytes.size());
        if (!sendAll(reply.bytes.data(), atOnce)) return false;
        for (char c : reply.bytes.substr(atOnce)) {
            if (!sendAll(&c, 1)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(reply.trickleMs));
        }
    } else if (!sendAll(reply.bytes.data(), reply.bytes.size())) {
        return false;
    }
    const std::string filler(64 * 1024, 'x');
    for (std::size_t left = reply.fill; left > 0;) {
        const std::size_t n = left < filler.size() ? left : filler.size();
        if (!sendAll(filler.data(), n)) return false;
        left -= n;
    }
    return true;
}

void ScriptServer::Hold(int fd) {
    char buffer[4096];
    while (!stop_) {
        if (WaitFor(fd, POLLIN) && recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
}

RefusingPort::RefusingPort() { fd_ = BoundSocket(false, port_); }
RefusingPort::~RefusingPort() { close(fd_); }

UnansweredPort::UnansweredPort() {
    listener_ = BoundSocket(false, port_);
    listen(listener_, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    // Fill the accept queue until a connection attempt stays unanswered.
    for (int i = 0; i < 16; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers_.push_back(fd);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) continue;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 200) == 0) return;
    }
    throw std::runtime_error("could not fill the backlog of a listening socket");
}

UnansweredPort::~UnansweredPort() {
    for (int fd : fillers_) close(fd);
    close(listener_);
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.Message();
    }
    return "";
}
