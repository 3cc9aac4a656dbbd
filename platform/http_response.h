// What the HTTP client makes of a response as libcurl hands it over: the status line, the
// limits on header lines and body size, the body written into the caller's stream, and the
// message an error status becomes. Nothing here throws into libcurl: a failure is remembered
// and the callback stops the transfer.
#pragma once

#include "platform/memory_stream.h"

#include <string>
#include <string_view>

namespace http {

std::string LongHeaderMessage();

class Response {
public:
    explicit Response(TStream& stream) : stream_(stream) {}

    /// One header line, its CR LF included. Returns false to stop the transfer.
    bool Header(std::string_view line, bool splitLongLines) noexcept;
    /// A piece of the body; `declared` is the Content-Length, -1 when there is none.
    /// Returns false to stop the transfer.
    bool Body(const char* data, std::size_t size, long long declared) noexcept;

    /// Remembers why the transfer stopped; the first reason wins.
    void Fail(std::string message) noexcept;
    bool Failed() const { return !failure_.empty(); }
    const std::string& Failure() const { return failure_; }

    /// Raises unless the final status is 2xx: "HTTP/1.1 404 Not Found", followed by ": " and
    /// the first line of a short plain-text body when there is one.
    void CheckStatus() const;
    /// The message for a body cut short by the server closing the connection.
    std::string ShortBodyMessage(long long declared) const;

private:
    bool Success() const { return status_ >= 200 && status_ < 300; }
    std::string StatusMessage() const;

    TStream& stream_;
    std::string statusLine_;
    int status_ = 0;
    std::string contentType_;
    long long declared_ = -1;  // Content-Length
    std::size_t headerBytes_ = 0;
    bool bodyStarted_ = false;
    std::size_t bodyBytes_ = 0;
    std::string errorBody_;  // the start of an error status's body, for its message
    std::string failure_;
};

}  // namespace http
