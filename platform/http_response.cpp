#include "platform/http_response.h"

#include "platform/exception.h"
#include "platform/http_transfer.h"

#include <cstdlib>
#include <new>
#include <strings.h>

namespace http {
namespace {

/// An error body longer than this is a page meant for a browser, not a message for the user.
constexpr std::size_t kShortBody = 1024;

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

std::string LongHeaderMessage() {
    return "A response header line is longer than " + std::to_string(kMaxHeaderLine) + " bytes";
}

bool Response::Header(std::string_view line, bool splitLongLines) noexcept {
    try {
        if (StartsWithNoCase(line, "HTTP/")) {
            // Each response of a redirect or authentication round trip starts afresh.
            statusLine_ = std::string(Trim(line));
            const std::size_t space = statusLine_.find(' ');
            status_ = space == std::string::npos ? 0 : std::atoi(statusLine_.c_str() + space + 1);
            contentType_.clear();
            declared_ = -1;
            headerBytes_ = 0;
            bodyStarted_ = false;
            bodyBytes_ = 0;
            errorBody_.clear();
        }
        headerBytes_ += line.size();
        std::size_t length = line.size();
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
        if (length > kMaxHeaderLine && !splitLongLines) {
            Fail(LongHeaderMessage());
            return false;
        }
        if (headerBytes_ > kMaxHeaderBytes) {
            Fail("The response headers are longer than " + std::to_string(kMaxHeaderBytes) + " bytes");
            return false;
        }
        if (StartsWithNoCase(line, "Content-Type:")) contentType_ = std::string(Trim(line.substr(13)));
        if (StartsWithNoCase(line, "Content-Length:")) declared_ = std::strtoll(std::string(line.substr(15)).c_str(), nullptr, 10);
        // Refused at the end of the headers already: the body may never come.
        if (length == 0 && Success() && declared_ > static_cast<long long>(kMaxBodyBytes)) {
            Fail("The response is larger than 64 MiB");
            return false;
        }
        return true;
    } catch (...) {
        Fail("Out of memory reading the response headers");
        return false;
    }
}

bool Response::Body(const char* data, std::size_t size, long long declared) noexcept {
    try {
        if (!Success()) {
            errorBody_.append(data, size);
            bodyBytes_ += size;
            if (errorBody_.size() <= kShortBody) return true;
            Fail(StatusMessage());  // no need to read the rest of a long error page
            return false;
        }
        if (!bodyStarted_) {
            bodyStarted_ = true;
            if (declared > static_cast<long long>(kMaxBodyBytes)) {
                Fail("The response is larger than 64 MiB");
                return false;
            }
            if (declared >= 0) stream_.Reserve(stream_.Position() + static_cast<std::size_t>(declared));
        }
        // Checked here because libcurl's own size limit does not stop a chunked or
        // close-delimited body.
        if (size > kMaxBodyBytes - bodyBytes_) {
            Fail("The response is larger than 64 MiB");
            return false;
        }
        stream_.Write(data, size);
        bodyBytes_ += size;
        return true;
    } catch (const Exception& error) {
        Fail(error.Message());
    } catch (const std::bad_alloc&) {
        Fail("Out of memory storing the response");
    } catch (...) {
        Fail("The response could not be stored");
    }
    return false;
}

void Response::Fail(std::string message) noexcept {
    if (failure_.empty()) failure_ = std::move(message);
}

void Response::CheckStatus() const {
    if (status_ == 0) throw Exception("The camera's answer has no HTTP status line");
    if (!Success()) throw Exception(StatusMessage());
}

std::string Response::StatusMessage() const {
    if (errorBody_.size() > kShortBody || !StartsWithNoCase(contentType_, "text/plain")) return statusLine_;
    const std::string_view first = Trim(std::string_view(errorBody_).substr(0, errorBody_.find_first_of("\r\n")));
    for (unsigned char c : first) {
        if (c < ' ' || c == 0x7f) return statusLine_;
    }
    return first.empty() ? statusLine_ : statusLine_ + ": " + std::string(first);
}

std::string Response::ShortBodyMessage(long long declared) const {
    if (declared >= 0)
        return "Connection closed after " + std::to_string(bodyBytes_) + " of " + std::to_string(declared) + " bytes";
    return "Connection closed after " + std::to_string(bodyBytes_) + " bytes, before the end of the body";
}

}  // namespace http
