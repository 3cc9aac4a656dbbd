// The HTTP client's URLs: only plain http, never with credentials in them.
#pragma once

#include <string>

namespace http {

struct Url {
    std::string host;  // an IPv6 literal without its brackets
    int port = 0;      // 0: the URL names no port
    std::string path;  // the request target: path and query, starting with '/'
};

/// Splits `url` ("http://host[:port][/path][?query]"; an IPv6 host bracketed or typed bare).
/// With `encode`, blanks and other bytes a URL cannot hold are percent-encoded in the path and
/// query. Raises an Exception for any other scheme, an empty host, a bad port, a user name or
/// password in the URL, or control characters.
Url ParseUrl(const std::string& url, bool encode);

/// "http://host:port/path", the host bracketed when it is an IPv6 literal. Raises an Exception
/// when libcurl would not take it as a plain http URL.
std::string ComposeUrl(const Url& url, int port);

/// True for an IPv4 or IPv6 literal (IPv6 without brackets).
bool IsAddressLiteral(const std::string& host);

/// Compares host names as DNS does: without regard to ASCII case.
bool SameHost(const std::string& a, const std::string& b);

}  // namespace http
