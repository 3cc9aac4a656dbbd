// One GET request over libcurl, on the calling thread, using the client's open connection when
// the request goes to the host it was made to.
#pragma once

#include "platform/http_socket.h"
#include "platform/memory_stream.h"

#include <curl/curl.h>
#include <string>

namespace http {

/// The connection Connect made, until a Get uses it or Disconnect closes it.
struct Connection {
    int fd = -1;
    SocketAddress peer;

    void Close() {
        CloseSocket(fd);
        fd = -1;
    }
};

constexpr std::size_t kMaxBodyBytes = 64u << 20;
constexpr std::size_t kMaxHeaderLine = 16384;
constexpr std::size_t kMaxHeaderBytes = 128u << 10;

struct GetRequest {
    std::string url;  // as ComposeUrl made it, naming the port
    std::string host;  // the URL's host, IPv6 without brackets
    int port = 0;
    /// The request goes to the client's host and port, so its connection may carry it.
    bool useConnection = false;
    /// Credentials to answer the server's challenge with; empty user and password: none.
    std::string username;
    std::string password;
    bool basicUpFront = false;  // send Basic credentials without waiting for a challenge
    std::string accept;
    std::string userAgent;
    CURLSH* cookies = nullptr;  // the client's cookie store; nullptr: cookies are not kept
    int connectTimeoutMs = 10000;
    int readTimeoutMs = 15000;  // 0 or less: wait for data forever
    bool splitLongLines = false;
};

/// Sends `request` and writes a 2xx response's body into `stream` from its position.
/// Raises an Exception for every failure, any other final status included. `connection`
/// carries the request when allowed and still open; either way it is closed afterwards.
void RunGet(const GetRequest& request, Connection& connection, TStream& stream);

}  // namespace http
