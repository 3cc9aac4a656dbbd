// What the fuzz targets do with one input, shared with the test that replays their findings.
// Each function feeds the bytes to the program's own code the way the running program would,
// swallows the errors that code is meant to raise, and aborts on anything that breaks a
// promise the code makes (so the fuzzer reports it as a finding).
#pragma once

#include "picture/jpeg_image.h"
#include "platform/exception.h"
#include "platform/http_response.h"
#include "platform/http_transfer.h"
#include "platform/http_url.h"
#include "platform/memory_stream.h"

#include <QImage>
#include <QPainter>

#include <arpa/inet.h>
#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <strings.h>

namespace fuzz {

/// What the test replaying the findings gets instead of an abort.
struct BrokenPromise : std::logic_error {
    using std::logic_error::logic_error;
};

/// Reports a broken promise and aborts, so the fuzzer keeps the input as a crash; a test
/// built with FUZZ_INPUTS_THROW gets a BrokenPromise instead.
[[noreturn]] inline void Broken(const char* what, const std::string& detail = "") {
#ifdef FUZZ_INPUTS_THROW
    throw BrokenPromise(std::string(what) + " " + detail);
#else
    std::fprintf(stderr, "fuzz: %s %s\n", what, detail.c_str());
    std::abort();
#endif
}

/// Pictures larger than this are loaded but not decoded: a decode of a huge picture from a
/// few bytes of data takes seconds and would starve the search. The size limit itself is
/// covered by the decoding tests.
constexpr std::uint64_t kDecodeBudget = std::uint64_t(1) << 18;

/// One Connect command's picture: load `data` as the response body, then paint it stretched
/// (smaller than the window's picture area, which only makes the search faster: the stretch
/// depends on the sizes, not on the pixels), at its own size and at an odd size, with 24-bit
/// and 8-bit output.
inline void FuzzJpeg(const std::uint8_t* data, std::size_t size) {
    for (const int depth : {24, 8}) {
        TJPEGImage::SetScreenDepthForOutput(depth);
        TMemoryStream stream;
        stream.Write(data, size);
        stream.SetPosition(0);
        auto jpeg = std::make_unique<TJPEGImage>();
        try {
            jpeg->LoadFromStream(stream);
        } catch (const EJPEG&) {
            continue;
        }
        if (jpeg->Width() < 0 || jpeg->Height() < 0) Broken("negative size after loading");
        if (std::uint64_t(jpeg->Width()) * std::uint64_t(jpeg->Height()) > kDecodeBudget) continue;

        // The picture area holds a copy sharing the data; the command's graphic goes at once.
        std::unique_ptr<TGraphic> shown = jpeg->Clone();
        jpeg.reset();
        const QRect dest(0, 0, 80, 60);
        QImage area(dest.size(), QImage::Format_RGB32);
        area.fill(Qt::gray);
        bool firstFailed = false;
        {
            QPainter painter(&area);
            try {
                shown->Draw(painter, dest);
            } catch (const EJPEG&) {
                firstFailed = true;
            }
            // Later paints draw what the first one left and raise nothing more.
            try {
                shown->Draw(painter, dest);
                shown->Draw(painter, QRect(0, 0, shown->Width(), shown->Height()));
                shown->Draw(painter, QRect(3, 5, 17, 1));
            } catch (const Exception& error) {
                Broken(firstFailed ? "a paint after a failed first paint raised again:"
                                   : "a paint after a good first paint raised:",
                       error.Message());
            }
        }
        auto* image = static_cast<TJPEGImage*>(shown.get());
        if (image->DecodeCount() != 1) Broken("the picture was decoded more than once");
        const TJPEGBitmap* bitmap = image->Bitmap();
        if (!bitmap) Broken("no bitmap after the first paint");
        if (!firstFailed && (bitmap->Width() != image->Width() || bitmap->Height() != image->Height()))
            Broken("the bitmap's size differs from the header's");
    }
    TJPEGImage::SetScreenDepthForOutput(0);
}

namespace detail {

/// The byte selecting what an HTTP input is: bits 0-1 the function, bit 3 its flag.
enum class HttpKind { Response, Url, Integer };

inline bool HasControl(std::string_view text) {
    for (unsigned char c : text)
        if (c < ' ' || c == 0x7f) return true;
    return false;
}

/// A response as libcurl hands it to the client: header lines (each with its line end) up to
/// and including the blank line, then the body in pieces of varying size.
inline void FuzzResponse(std::string_view text, bool splitLongLines) {
    // libcurl refuses an answer without a status line (HTTP/0.9) before any callback.
    if (text.size() < 5 || strncasecmp(text.data(), "HTTP/", 5) != 0) return;
    TMemoryStream stream;
    http::Response response(stream);
    long long declared = -1;
    std::size_t at = 0;
    bool go = true;
    for (;;) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end == std::string_view::npos ? end : end + 1 - at);
        at = end == std::string_view::npos ? text.size() : end + 1;
        if (line.empty()) break;
        if (line.size() >= 15 && strncasecmp(line.data(), "Content-Length:", 15) == 0)
            declared = std::strtoll(std::string(line.substr(15)).c_str(), nullptr, 10);
        go = response.Header(line, splitLongLines);
        if (!go || line == "\r\n" || line == "\n" || at >= text.size()) break;
    }
    std::size_t delivered = 0;
    for (std::size_t piece = 1; go && at < text.size(); piece = piece * 7 % 16381 + 1) {
        const std::size_t n = std::min(piece, text.size() - at);
        go = response.Body(text.data() + at, n, declared);
        if (go) delivered += n;
        at += n;
    }
    if (!go && !response.Failed()) Broken("the transfer was stopped without a reason");
    if (stream.Size() > http::kMaxBodyBytes) Broken("the stored body is over the limit");
    std::string message;
    try {
        if (response.Failed()) throw Exception(response.Failure());
        response.CheckStatus();
        if (stream.Size() != delivered) Broken("stored body size differs from what was delivered");
    } catch (const Exception& error) {
        message = error.Message();
        if (message.empty()) Broken("an error without a message");
    }
    if (message.find('\n') != std::string::npos) Broken("a message with a line break:", message);
    (void)response.ShortBodyMessage(declared);
}

/// The snapshot URL as the Connect command composes it, parsed and put together again as the
/// client does before handing it to libcurl. What libcurl reads from the composed URL must be
/// the host and request target the client parsed: anything else would send the request, and
/// maybe the credentials, somewhere the client did not check.
inline void FuzzUrl(const std::string& text, bool encode) {
    http::Url url;
    try {
        url = http::ParseUrl(text, encode);
    } catch (const Exception& error) {
        if (error.Message().empty()) Broken("an error without a message");
        return;
    }
    if (url.host.empty()) Broken("a URL without a host was taken:", text);
    if (url.path.empty() || url.path[0] != '/') Broken("a request target not starting with '/':", text);
    if (url.path.find('#') != std::string::npos) Broken("a fragment in the request target:", text);
    if (url.host.find_first_of("@/?#") != std::string::npos) Broken("a delimiter in the host:", text);
    if (HasControl(url.path) || HasControl(url.host)) Broken("a control character got through:", text);
    if (url.port < 0 || url.port > 65535) Broken("a port out of range:", text);
    (void)http::IsAddressLiteral(url.host);
    if (!http::SameHost(url.host, url.host)) Broken("a host differs from itself:", text);

    std::string composed;
    try {
        composed = http::ComposeUrl(url, url.port ? url.port : 80);
    } catch (const Exception& error) {
        if (error.Message().empty()) Broken("an error without a message");
        return;
    }
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
    if (curl_url_set(handle.get(), CURLUPART_URL, composed.c_str(), 0) != CURLUE_OK)
        Broken("libcurl refuses a composed URL:", composed);
    char* host = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) Broken("no host for libcurl:", composed);
    std::string curlHost = host;
    curl_free(host);
    if (curlHost.size() >= 2 && curlHost.front() == '[') curlHost = curlHost.substr(1, curlHost.size() - 2);
    // libcurl writes an IPv6 zone as %25 and may shorten or lower-case a literal; it also
    // reads IPv4 addresses in the short and octal or hex forms ("2", "127.1", "0x7f.1") as the
    // system's resolver does, which is harmless as both reach the same address. Any other
    // name must come through exactly.
    in_addr shortForm{};
    const bool sameIpv4 = inet_aton(url.host.c_str(), &shortForm) && curlHost == inet_ntoa(shortForm);
    if (!http::IsAddressLiteral(url.host) && !sameIpv4 && !http::SameHost(curlHost, url.host))
        Broken(("libcurl reads host '" + curlHost + "' from").c_str(), composed);
}

}  // namespace detail

/// Header and body handling of the HTTP client's responses, its URL parsing, and the port
/// field's conversion, chosen by the first byte.
inline void FuzzHttp(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const auto kind = static_cast<detail::HttpKind>(data[0] & 3);
    const bool flag = data[0] & 8;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (kind) {
    case detail::HttpKind::Response: detail::FuzzResponse(text, flag); break;
    case detail::HttpKind::Url: detail::FuzzUrl(text, flag); break;
    default:
        try {
            const int value = StrToInt(text);
            if (std::to_string(value).size() > text.size() + 1) Broken("StrToInt made up digits:", text);
        } catch (const EConvertError& error) {
            if (error.Message() != "'" + text + "' is not a valid integer value") Broken("StrToInt's message:", error.Message());
        }
    }
}

}  // namespace fuzz
