#include "platform/http_url.h"

#include "platform/exception.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <memory>
#include <strings.h>

namespace http {
namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t n = std::char_traits<char>::length(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

/// Percent-encodes the bytes a request target cannot carry as they are, leaving the URL's own
/// delimiters and existing %XX escapes alone.
std::string Encode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool plain = c > ' ' && c < 0x7f && std::string_view("\"<>\\^`{|}").find(char(c)) == std::string_view::npos;
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

int ParsePort(const std::string& text, const std::string& url) {
    long value = 0;
    bool ok = !text.empty() && text.size() <= 5;
    for (char c : text) {
        ok = ok && c >= '0' && c <= '9';
        if (ok) value = value * 10 + (c - '0');
    }
    if (!ok || value < 1 || value > 65535)
        throw Exception("The port in the URL is not a number from 1 to 65535: " + url);
    return static_cast<int>(value);
}

}  // namespace

Url ParseUrl(const std::string& url, bool encode) {
    for (unsigned char c : url) {
        if (c < ' ' || c == 0x7f) throw Exception("The URL contains a control character");
    }
    if (!StartsWithNoCase(url, "http://")) throw Exception("Only plain http URLs can be fetched: " + url);
    const std::string rest = url.substr(7);
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    const std::string authority = rest.substr(0, authorityEnd);
    std::string target = authorityEnd == std::string::npos ? "" : rest.substr(authorityEnd);
    target = target.substr(0, target.find('#'));  // a fragment never goes to the server
    if (target.empty() || target[0] != '/') target = "/" + target;

    // Credentials reach the server only through the authentication handshake, never in a URL.
    if (authority.find('@') != std::string::npos)
        throw Exception("The URL must not carry a user name or password");

    Url parsed;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) throw Exception("The URL's IPv6 address lacks its ']': " + url);
        parsed.host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') throw Exception("Unexpected text after the URL's host: " + url);
            if (after.size() > 1) parsed.port = ParsePort(after.substr(1), url);
        }
    } else if (authority.find(':') != authority.rfind(':')) {
        parsed.host = authority;  // an IPv6 literal typed without brackets
    } else {
        const std::size_t colon = authority.find(':');
        parsed.host = authority.substr(0, colon);
        if (colon != std::string::npos && colon + 1 < authority.size())
            parsed.port = ParsePort(authority.substr(colon + 1), url);
    }
    if (parsed.host.empty()) throw Exception("The URL names no host: " + url);
    for (unsigned char c : parsed.host) {
        if (c == ' ') throw Exception("The URL's host contains a blank: " + url);
    }
    // libcurl decodes %XX in a host name, so it would look up another name than the one the
    // credentials and the open connection are matched against. Only an IPv6 zone has a '%'.
    if (parsed.host.find('%') != std::string::npos && parsed.host.find(':') == std::string::npos)
        throw Exception("The URL's host contains a '%': " + url);
    parsed.path = encode ? Encode(target) : target;
    return parsed;
}

std::string ComposeUrl(const Url& url, int port) {
    std::string host = url.host;
    if (host.find(':') != std::string::npos) {
        // An IPv6 zone ("fe80::1%eth0") is written %25 inside the brackets.
        const std::size_t zone = host.find('%');
        if (zone != std::string::npos) host.replace(zone, 1, "%25");
        host = "[" + host + "]";
    }
    const std::string text = "http://" + host + ":" + std::to_string(port) + url.path;

    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
    if (!handle) throw Exception("Out of memory");
    if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
        throw Exception("Not a valid http URL: " + text);
    return text;
}

bool IsAddressLiteral(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    const std::string bare = host.substr(0, host.find('%'));
    return inet_pton(AF_INET, bare.c_str(), buffer) == 1 || inet_pton(AF_INET6, bare.c_str(), buffer) == 1;
}

bool SameHost(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace http
