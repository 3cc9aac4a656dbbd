#include "platform/http_client.h"

#include "platform/exception.h"
#include "platform/http_transfer.h"
#include "platform/http_url.h"

#include <curl/curl.h>
#include <mutex>

namespace {

/// Header values and credentials go into the request as they are; a line break or NUL in one
/// would end the header early and let the rest pose as a header of its own.
void CheckHeaderText(const std::string& text, const char* what) {
    for (unsigned char c : text) {
        if ((c < ' ' && c != '\t') || c == 0x7f)
            throw Exception(std::string("The ") + what + " contains a line break or other control character and cannot be sent");
    }
}

}  // namespace

struct TIdHTTP::Impl {
    Impl() {
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        cookies = curl_share_init();
        if (!cookies) throw Exception("Out of memory");
        curl_share_setopt(cookies, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    ~Impl() {
        connection.Close();
        curl_share_cleanup(cookies);
    }

    http::Connection connection;
    CURLSH* cookies = nullptr;  // every cookie the camera set, for the client's life, in memory
};

TIdHTTP::TIdHTTP(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {}
TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::Connect(int timeout) {
    Disconnect();
    impl_->connection.fd = http::ConnectToHost(Host, Port, timeout < 0 ? ConnectTimeout : timeout,
                                               impl_->connection.peer);
}

void TIdHTTP::Disconnect() { impl_->connection.Close(); }

bool TIdHTTP::Connected() const { return impl_->connection.fd >= 0; }

void TIdHTTP::Get(const std::string& url, TStream& stream) {
    const http::Url target = http::ParseUrl(url, ForceEncodeParams);
    const int port = target.port ? target.port : Port;
    http::CheckPort(port);
    CheckHeaderText(Request->Username, "user ID");
    CheckHeaderText(Request->Password, "password");
    CheckHeaderText(Request->Accept, "Accept header");
    CheckHeaderText(Request->UserAgent, "User-Agent header");

    http::GetRequest request;
    request.url = http::ComposeUrl(target, port);
    request.host = target.host;
    request.port = port;
    // The credentials belong to the host the user typed; a URL naming another one gets none.
    const bool clientHost = http::SameHost(target.host, http::BareHost(Host));
    request.useConnection = clientHost && port == Port;
    if (clientHost) {
        request.username = Request->Username;
        request.password = Request->Password;
    }
    request.basicUpFront = Request->BasicAuthentication;
    request.accept = Request->Accept;
    request.userAgent = Request->UserAgent;
    request.cookies = AllowCookies ? impl_->cookies : nullptr;
    request.connectTimeoutMs = ConnectTimeout;
    request.readTimeoutMs = ReadTimeout;
    request.splitLongLines = MaxLineAction == TIdMaxLineAction::maSplit;
    http::RunGet(request, impl_->connection, stream);
}

bool TIdHTTP::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Left" || name == "Top") (void)value.AsInt();  // where it sits at design time
    else if (name == "MaxLineAction") {
        const std::string& a = value.AsIdent();
        if (a == "maException") MaxLineAction = TIdMaxLineAction::maException;
        else if (a == "maSplit") MaxLineAction = TIdMaxLineAction::maSplit;
        else throw Exception("Layout line " + std::to_string(value.line) + ": bad MaxLineAction " + a);
    } else if (name == "AllowCookies") AllowCookies = value.AsBool();
    else if (name == "ProxyParams.BasicAuthentication") ProxyParams->BasicAuthentication = value.AsBool();
    else if (name == "ProxyParams.ProxyPort") ProxyParams->ProxyPort = value.AsInt();
    else if (name == "Request.ContentLength") Request->ContentLength = value.AsInt();
    else if (name == "Request.ContentRangeEnd") Request->ContentRangeEnd = value.AsInt();
    else if (name == "Request.ContentRangeStart") Request->ContentRangeStart = value.AsInt();
    else if (name == "Request.ContentType") Request->ContentType = value.AsString();
    else if (name == "Request.Accept") Request->Accept = value.AsString();
    else if (name == "Request.BasicAuthentication") Request->BasicAuthentication = value.AsBool();
    else if (name == "Request.UserAgent") Request->UserAgent = value.AsString();
    else if (name == "HTTPOptions") {
        ForceEncodeParams = false;
        for (const auto& option : value.AsSet()) {
            if (option == "hoForceEncodeParams") ForceEncodeParams = true;
            else throw Exception("Layout line " + std::to_string(value.line) + ": unknown HTTP option " + option);
        }
    } else return TComponent::SetLayoutProperty(name, value, root);
    return true;
}
