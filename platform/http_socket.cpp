#include "platform/http_socket.h"

#include "platform/exception.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace http {
namespace {

using Clock = std::chrono::steady_clock;

int PortOf(const sockaddr* address) {
    if (address->sa_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
}

std::string Where(const std::string& host, int port) {
    return host + " port " + std::to_string(port);
}

/// Waits for a non-blocking connect to finish; returns 0 or the errno it ended with, or
/// ETIMEDOUT when `timeoutMs` (> 0) passes first.
int FinishConnect(int fd, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return ETIMEDOUT;
            wait = static_cast<int>(left.count());
        }
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return errno;
        if (ready == 0) continue;  // the deadline check above ends the wait
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
        return error;
    }
}

std::string ConnectError(int error, const std::string& host, int port, int timeoutMs) {
    if (error == ECONNREFUSED) return "Connection refused by " + Where(host, port);
    if (error == ETIMEDOUT)
        return "Connection to " + Where(host, port) + " timed out after " + std::to_string(timeoutMs) + " ms";
    return "Cannot connect to " + Where(host, port) + ": " + std::strerror(error);
}

}  // namespace

bool SocketAddress::SameAs(const sockaddr* other, socklen_t otherLength) const {
    const sockaddr* mine = Get();
    if (length == 0 || otherLength == 0 || mine->sa_family != other->sa_family) return false;
    if (mine->sa_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(mine);
        const auto* b = reinterpret_cast<const sockaddr_in*>(other);
        return a->sin_port == b->sin_port && a->sin_addr.s_addr == b->sin_addr.s_addr;
    }
    if (mine->sa_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(mine);
        const auto* b = reinterpret_cast<const sockaddr_in6*>(other);
        return a->sin6_port == b->sin6_port && a->sin6_scope_id == b->sin6_scope_id &&
               std::memcmp(&a->sin6_addr, &b->sin6_addr, sizeof a->sin6_addr) == 0;
    }
    return false;
}

std::string SocketAddress::Numeric() const { return NumericAddress(Get()); }

std::string NumericAddress(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return text;
}

std::string BareHost(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

void CheckHostName(const std::string& host) {
    if (host.empty()) throw Exception("No host is set to connect to");
    for (unsigned char c : host) {
        if (c <= ' ' || c == 0x7f)
            throw Exception("Host '" + host + "' is not a valid host name: it contains a blank or control character");
    }
}

void CheckPort(int port) {
    if (port < 1 || port > 65535)
        throw Exception("Port " + std::to_string(port) + " is out of range (1 to 65535)");
}

namespace {
/// Connects a new socket to `address`; returns 0 with the socket in `fd`, or the errno it failed with.
int TryConnect(const sockaddr* address, socklen_t length, int timeoutMs, int& fd) {
    fd = socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    int result = 0;
    if (connect(fd, address, length) != 0) result = errno == EINPROGRESS ? FinishConnect(fd, timeoutMs) : errno;
    if (result != 0) {
        close(fd);
        fd = -1;
    }
    return result;
}
}  // namespace

int ConnectToAddress(const sockaddr* address, socklen_t length, const std::string& host, int timeoutMs,
                     std::string& error) {
    int fd = -1;
    const int result = TryConnect(address, length, timeoutMs, fd);
    if (result != 0) error = ConnectError(result, host, PortOf(address), timeoutMs);
    return fd;
}

int ConnectToHost(const std::string& host, int port, int timeoutMs, SocketAddress& peer) {
    CheckHostName(host);
    CheckPort(port);
    const std::string bare = BareHost(host);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(bare.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status != 0) {
        if (status == EAI_NONAME || status == EAI_NODATA || status == EAI_FAIL || status == EAI_ADDRFAMILY)
            throw Exception("Host '" + bare + "' not found");
        if (status == EAI_AGAIN) throw Exception("Host '" + bare + "' not found: the name server did not answer");
        throw Exception("Host '" + bare + "' could not be resolved: " + gai_strerror(status));
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);

    // One time-out covers every address the name has, as the user waits for all of them.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int result = ETIMEDOUT;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        int left = timeoutMs;
        if (timeoutMs > 0) {
            left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (left <= 0) break;
        }
        int fd = -1;
        result = TryConnect(a->ai_addr, a->ai_addrlen, left, fd);
        if (result == 0) {
            std::memcpy(&peer.storage, a->ai_addr, a->ai_addrlen);
            peer.length = a->ai_addrlen;
            return fd;
        }
    }
    throw Exception(ConnectError(result, bare, port, timeoutMs));
}

bool IsReusable(int fd) {
    pollfd p{fd, POLLIN, 0};
    int ready;
    do ready = poll(&p, 1, 0);
    while (ready < 0 && errno == EINTR);
    // Readable means the server closed it or sent something unasked; either way a request
    // sent now would not get its own answer.
    return ready == 0;
}

void CloseSocket(int fd) {
    if (fd >= 0) close(fd);
}

}  // namespace http
