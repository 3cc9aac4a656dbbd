// TIdHTTP: the program's HTTP client component, over libcurl.
#pragma once

#include "platform/component.h"
#include "platform/memory_stream.h"

#include <memory>
#include <string>

/// Request settings: the fixed profile from the stored layout plus the user's credentials.
struct TIdHTTPRequest {
    std::string Username;
    std::string Password;
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    std::string ContentType = "text/html";
    long long ContentLength = -1;
    long long ContentRangeStart = 0;
    long long ContentRangeEnd = 0;
    bool BasicAuthentication = false;
};

struct TIdProxyConnectionInfo {
    bool BasicAuthentication = false;
    int ProxyPort = 0;
};

enum class TIdMaxLineAction { maException, maSplit };

class TIdHTTP : public TComponent {
public:
    explicit TIdHTTP(TComponent* owner);
    ~TIdHTTP() override;

    std::string Host;
    int Port = 80;
    const std::unique_ptr<TIdHTTPRequest> Request = std::make_unique<TIdHTTPRequest>();
    const std::unique_ptr<TIdProxyConnectionInfo> ProxyParams = std::make_unique<TIdProxyConnectionInfo>();
    TIdMaxLineAction MaxLineAction = TIdMaxLineAction::maException;
    bool AllowCookies = true;
    bool ForceEncodeParams = false;  // HTTPOptions [hoForceEncodeParams]

    /// Connect time-out in milliseconds: what Connect(-1) waits, and what a Get waits for any
    /// connection it makes itself. 0: no limit but the system's own.
    int ConnectTimeout = 10000;
    /// A Get is abandoned when no byte arrives for this many milliseconds. 0: never.
    int ReadTimeout = 15000;

    /// Opens a TCP connection to Host:Port (closing any open one first). Host may be a name or
    /// an IPv4 or IPv6 address, the latter bare or in brackets. `timeout` in milliseconds, -1
    /// for ConnectTimeout. Raises an Exception naming host and port when it cannot be made.
    void Connect(int timeout = -1);
    /// Closes the connection; does nothing when none is open.
    void Disconnect();
    bool Connected() const;

    /// Sends one GET for `url` ("http://host[:port]/path"; without a port, Port) and writes a
    /// 2xx response's body into `stream` from its position. A URL for Host and Port travels
    /// over the open connection, which ends with the request; any other makes its own. The
    /// credentials answer a challenge from Host only. Raises an Exception for any failure,
    /// including a final status other than 2xx ("HTTP/1.1 404 Not Found").
    void Get(const std::string& url, TStream& stream);

    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
