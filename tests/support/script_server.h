// A scripted HTTP server on loopback for tests of misbehaving cameras. It runs on threads of its
// own inside the test process, records every connection and raw request, and answers each
// request with the next reply of its script: exact bytes, sent at once or trickled, followed by
// a stall, a close, or nothing (the connection stays open for the next request).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ScriptedReply {
    std::string bytes;     // sent exactly as given: status line, headers, body
    int trickleMs = 0;     // > 0: `bytes` go one at a time, this many milliseconds apart
    std::size_t fill = 0;  // then this many 'x' bytes (for bodies too large to spell out)
    bool stall = false;    // then nothing more: the connection is held until the client closes it
    bool close = false;    // then the server closes the connection
    bool reset = false;    // then the server resets the connection (RST, not FIN)
    std::size_t trickleFrom = 0;  // with trickleMs: the bytes before this offset go at once
};

/// "HTTP/1.1 <status>" with a Content-Length for `body`, the `headers` given (each line ending
/// in CR LF) and the body.
ScriptedReply HttpReply(const std::string& status, const std::string& body = "", const std::string& headers = "");

struct ScriptedRequest {
    int connection = 0;  // which connection it came on, counted from 0 in order of acceptance
    std::string raw;     // request line and headers, each line with its CR LF, and the blank line

    std::string RequestLine() const;
    /// The values of every header called `name` (in any case), in order.
    std::vector<std::string> Headers(const std::string& name) const;
    /// The first such value, "" when there is none.
    std::string Header(const std::string& name) const;
};

class ScriptServer {
public:
    using Responder = std::function<ScriptedReply(const ScriptedRequest&)>;

    /// Listens on a free loopback port (::1 with `ipv6`). Requests take the replies in order of
    /// arrival, whatever their connection; once they run out, a request's connection is closed.
    explicit ScriptServer(std::vector<ScriptedReply> replies, bool ipv6 = false);
    /// Every request is answered with what `respond` returns (called on a server thread).
    explicit ScriptServer(Responder respond, bool ipv6 = false);
    /// Stops at once, stalls included, and closes every connection.
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    int Port() const { return port_; }
    std::vector<ScriptedRequest> Requests() const;
    /// Connections accepted so far. A connection the client has just made may still wait in
    /// the listening queue: WaitForConnections waits for it.
    int Connections() const;
    /// Waits up to `ms` until `count` connections have been accepted; returns how many have.
    int WaitForConnections(int count, int ms) const;
    /// Waits up to `ms` for the client to close connection `index`; true once it has.
    bool WaitClosedByClient(int index, int ms) const;
    /// Closes connection `index` from the server's side while it waits for a request, as a
    /// camera drops an idle connection; returns once it is closed (at most about a second).
    void HangUp(int index);

private:
    void Listen(bool ipv6);
    void AcceptLoop();
    void Serve(int index, int fd);
    bool ReadRequest(int index, int fd, std::string& pending, std::string& request);
    bool Send(int fd, const ScriptedReply& reply);
    void Hold(int fd);
    ScriptedReply NextReply(const ScriptedRequest& request);
    void MarkClosedByClient(int index);

    std::vector<ScriptedReply> replies_;
    std::size_t nextReply_ = 0;
    Responder respond_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ScriptedRequest> requests_;
    std::vector<bool> closedByClient_;
    std::vector<int> hangUps_;  // 1: asked for, 2: done
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

/// A loopback port that refuses connections: bound, not listening, and kept so while it lives.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

/// A loopback port where connecting hangs: it listens with its backlog filled by connections
/// that are never accepted, so a new connection attempt gets no answer at all.
class UnansweredPort {
public:
    UnansweredPort();
    ~UnansweredPort();
    int Port() const { return port_; }

private:
    int listener_ = -1;
    std::vector<int> fillers_;
    int port_ = 0;
};

/// The message of the Exception `action` raises; "" when it raises none.
std::string ErrorOf(const std::function<void()>& action);
