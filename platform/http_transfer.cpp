#include "platform/http_transfer.h"

#include "platform/exception.h"
#include "platform/http_response.h"
#include "platform/http_url.h"

#include <chrono>
#include <cstring>
#include <sys/socket.h>

namespace http {
namespace {

using Clock = std::chrono::steady_clock;

/// Owns one easy handle inside its own multi handle, so that the wait for data can be cut at
/// any millisecond rather than at libcurl's once-a-second progress ticks.
class Transfer {
public:
    Transfer(const GetRequest& request, Connection& connection, TStream& stream)
        : request_(request), connection_(connection), response_(stream) {}
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    void Run();

private:
    void Configure();
    CURLcode Perform();
    [[noreturn]] void Raise(CURLcode result);

    static curl_socket_t OpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) noexcept;
    static int SocketOptions(void*, curl_socket_t, curlsocktype) noexcept { return CURL_SOCKOPT_ALREADY_CONNECTED; }
    static int CloseSocketCallback(void* self, curl_socket_t fd) noexcept;
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) noexcept;
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) noexcept;

    const GetRequest& request_;
    Connection& connection_;
    Response response_;
    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;
    curl_slist* headers_ = nullptr;
    curl_slist* resolve_ = nullptr;
    char curlError_[CURL_ERROR_SIZE] = "";
    std::string connectError_;
    Clock::time_point lastData_ = Clock::now();
    bool handedConnection_ = false;
    SocketAddress target_;  // the first server connected to: the URL's own host and port
};

Transfer::~Transfer() {
    if (multi_ && easy_) curl_multi_remove_handle(multi_, easy_);
    // Every connection of the request closes now, through CloseSocketCallback.
    if (multi_) curl_multi_cleanup(multi_);
    if (easy_) curl_easy_cleanup(easy_);
    curl_slist_free_all(headers_);
    curl_slist_free_all(resolve_);
}

void Transfer::Configure() {
    easy_ = curl_easy_init();
    multi_ = curl_multi_init();
    if (!easy_ || !multi_) throw Exception("Out of memory");
    headers_ = curl_slist_append(nullptr, ("Accept: " + request_.accept).c_str());
    if (!headers_) throw Exception("Out of memory");

    curl_easy_setopt(easy_, CURLOPT_URL, request_.url.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    // The camera is always reached directly, whatever http_proxy says.
    curl_easy_setopt(easy_, CURLOPT_PROXY, "");
    curl_easy_setopt(easy_, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, request_.userAgent.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, curlError_);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, long(request_.connectTimeoutMs > 0 ? request_.connectTimeoutMs : 0));
    curl_easy_setopt(easy_, CURLOPT_OPENSOCKETFUNCTION, &Transfer::OpenSocket);
    curl_easy_setopt(easy_, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy_, CURLOPT_SOCKOPTFUNCTION, &Transfer::SocketOptions);
    curl_easy_setopt(easy_, CURLOPT_CLOSESOCKETFUNCTION, &Transfer::CloseSocketCallback);
    curl_easy_setopt(easy_, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);

    if (!request_.username.empty() || !request_.password.empty()) {
        curl_easy_setopt(easy_, CURLOPT_USERNAME, request_.username.c_str());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, request_.password.c_str());
        // Without a challenge nothing is sent; given one, libcurl answers with the strongest
        // scheme offered, Digest before Basic. Redirects elsewhere never get the credentials.
        curl_easy_setopt(easy_, CURLOPT_HTTPAUTH,
                         request_.basicUpFront ? CURLAUTH_BASIC : (CURLAUTH_BASIC | CURLAUTH_DIGEST));
    }
    if (request_.cookies) {
        curl_easy_setopt(easy_, CURLOPT_SHARE, request_.cookies);
        curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");  // the cookie engine, in memory only
    }
    if (request_.useConnection && connection_.fd >= 0 && !IsAddressLiteral(request_.host)) {
        // The name resolves to the address Connect reached, so that libcurl asks for a socket
        // to it and gets the open connection.
        const std::string address = connection_.peer.Get()->sa_family == AF_INET6
                                        ? "[" + connection_.peer.Numeric() + "]"
                                        : connection_.peer.Numeric();
        resolve_ = curl_slist_append(
            nullptr, (request_.host + ":" + std::to_string(request_.port) + ":" + address).c_str());
        curl_easy_setopt(easy_, CURLOPT_RESOLVE, resolve_);
    }
}

CURLcode Transfer::Perform() {
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) throw Exception("Cannot start the HTTP request");
    lastData_ = Clock::now();
    for (;;) {
        int running = 0;
        const CURLMcode status = curl_multi_perform(multi_, &running);
        if (status != CURLM_OK) throw Exception(std::string("HTTP request failed: ") + curl_multi_strerror(status));
        if (!running) break;
        int wait = 1000;
        if (request_.readTimeoutMs > 0) {
            const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastData_);
            if (quiet.count() >= request_.readTimeoutMs) {
                response_.Fail("Read timed out: no data from the camera for " +
                               std::to_string(request_.readTimeoutMs) + " ms");
                return CURLE_OPERATION_TIMEDOUT;
            }
            wait = static_cast<int>(request_.readTimeoutMs - quiet.count());
        }
        long curlWait = -1;
        curl_multi_timeout(multi_, &curlWait);
        if (curlWait >= 0 && curlWait < wait) wait = static_cast<int>(curlWait);
        int events = 0;
        curl_multi_poll(multi_, nullptr, 0, wait, &events);
        // Any byte the server sends wakes the poll, also one that completes no header line yet.
        if (events > 0) lastData_ = Clock::now();
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE) return message->data.result;
    }
    return CURLE_OK;
}

void Transfer::Run() {
    Configure();
    const CURLcode result = Perform();
    if (result != CURLE_OK || response_.Failed()) Raise(result);
    response_.CheckStatus();
}

void Transfer::Raise(CURLcode result) {
    if (response_.Failed()) throw Exception(response_.Failure());
    switch (result) {
    case CURLE_COULDNT_CONNECT:
        throw Exception(connectError_.empty() ? curlError_ : connectError_);
    case CURLE_COULDNT_RESOLVE_HOST:
        throw Exception("Host '" + request_.host + "' not found");
    case CURLE_PARTIAL_FILE: {
        curl_off_t declared = -1;
        curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        throw Exception(response_.ShortBodyMessage(declared));
    }
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        throw Exception("The connection to " + request_.host + " port " + std::to_string(request_.port) +
                        " broke: " + curlError_);
    case CURLE_GOT_NOTHING:
        throw Exception("The camera closed the connection without answering");
    case CURLE_TOO_MANY_REDIRECTS:
        throw Exception("Too many redirects (more than 5)");
    case CURLE_UNSUPPORTED_PROTOCOL:
        throw Exception(std::string("Redirected to a URL that is not plain http: ") + curlError_);
    case CURLE_OUT_OF_MEMORY:
        // libcurl's own limit on one header line lies above ours.
        if (!request_.splitLongLines) throw Exception(LongHeaderMessage());
        throw Exception("Out of memory");
    default:
        throw Exception(std::string("HTTP request failed: ") + (*curlError_ ? curlError_ : curl_easy_strerror(result)));
    }
}

curl_socket_t Transfer::OpenSocket(void* self, curlsocktype, curl_sockaddr* address) noexcept {
    auto& t = *static_cast<Transfer*>(self);
    try {
        // The connection Connect made carries the request to its own server. libcurl 7.88
        // calls connect() even on a socket it is told is connected; Linux answers that with
        // success once for a socket whose own non-blocking connect was never repeated, as
        // ConnectToAddress leaves it. So a connection is handed over once and ends with the
        // request.
        Connection& kept = t.connection_;
        if (t.request_.useConnection && !t.handedConnection_ && kept.fd >= 0 &&
            kept.peer.SameAs(&address->addr, address->addrlen)) {
            t.handedConnection_ = true;
            if (IsReusable(kept.fd)) {
                t.target_ = kept.peer;
                t.lastData_ = Clock::now();
                return kept.fd;
            }
            kept.Close();  // the server has closed it meanwhile: connect anew below
        }
        // A Get without Connect, a server that closed after its challenge, or a redirect
        // elsewhere: a connection of the request's own.
        const bool toTarget = t.target_.length == 0 || t.target_.SameAs(&address->addr, address->addrlen);
        std::string error;
        const int fd = ConnectToAddress(&address->addr, address->addrlen,
                                        toTarget ? t.request_.host : NumericAddress(&address->addr),
                                        t.request_.connectTimeoutMs, error);
        t.lastData_ = Clock::now();
        if (fd < 0) {
            t.connectError_ = error;
            return CURL_SOCKET_BAD;
        }
        if (t.target_.length == 0) {
            std::memcpy(&t.target_.storage, &address->addr, address->addrlen);
            t.target_.length = address->addrlen;
        }
        return fd;
    } catch (...) {
        t.connectError_ = "Cannot connect: out of memory";
        return CURL_SOCKET_BAD;
    }
}

int Transfer::CloseSocketCallback(void* self, curl_socket_t fd) noexcept {
    auto& t = *static_cast<Transfer*>(self);
    if (fd == t.connection_.fd) t.connection_.fd = -1;
    CloseSocket(fd);
    return 0;
}

std::size_t Transfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) noexcept {
    auto& t = *static_cast<Transfer*>(self);
    t.lastData_ = Clock::now();
    return t.response_.Header(std::string_view(data, size * count), t.request_.splitLongLines) ? size * count : 0;
}

std::size_t Transfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) noexcept {
    auto& t = *static_cast<Transfer*>(self);
    t.lastData_ = Clock::now();
    curl_off_t declared = -1;
    curl_easy_getinfo(t.easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
    return t.response_.Body(data, size * count, declared) ? size * count : 0;
}

}  // namespace

void RunGet(const GetRequest& request, Connection& connection, TStream& stream) {
    Transfer transfer(request, connection, stream);
    transfer.Run();
}

}  // namespace http
