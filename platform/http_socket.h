// TCP connections for the HTTP client. They are made here rather than by libcurl so that Connect
// stands on its own, IPv6 literals work typed bare or bracketed, and every failure is reported
// with the host and port the user typed.
#pragma once

#include <string>
#include <sys/socket.h>

namespace http {

/// A peer's socket address (IPv4 or IPv6).
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    /// Same family, address and port (IPv6 flow labels aside).
    bool SameAs(const sockaddr* other, socklen_t otherLength) const;
    /// The address in numeric form: "127.0.0.1" or "::1".
    std::string Numeric() const;
};

/// An IPv4 or IPv6 socket address in numeric form: "127.0.0.1" or "::1".
std::string NumericAddress(const sockaddr* address);

/// `host` without the brackets of a bracketed IPv6 literal ("[::1]" gives "::1").
std::string BareHost(const std::string& host);

/// Raises an Exception for an empty host or one holding blanks or control characters, which
/// no resolver or Host header can carry.
void CheckHostName(const std::string& host);

/// Raises an Exception for a port outside 1..65535.
void CheckPort(int port);

/// Resolves `host` (a name, an IPv4 or IPv6 literal, bracketed or not) and connects to the first
/// of its addresses that accepts, all within `timeoutMs` (0 or less: the system's own limit).
/// Returns the connected socket and stores its peer in `peer`; raises an Exception naming the
/// host and port when the host is not found, refuses, or the time runs out.
int ConnectToHost(const std::string& host, int port, int timeoutMs, SocketAddress& peer);

/// Connects a new non-blocking socket to `address` within `timeoutMs`, calling connect() on it
/// once. Returns it, or -1 with the reason in `error` (the messages of ConnectToHost, naming
/// `host`).
int ConnectToAddress(const sockaddr* address, socklen_t length, const std::string& host,
                     int timeoutMs, std::string& error);

/// True while `fd` is open at both ends with nothing unread: a request sent on it will be the
/// first thing the server reads.
bool IsReusable(int fd);

void CloseSocket(int fd);

}  // namespace http
