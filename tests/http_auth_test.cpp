// The HTTP client's authentication: against a real lighttpd (Basic, Digest with MD5 and
// SHA-256), and against scripted cameras for what lighttpd cannot show: the first request, the
// choice of scheme, a camera that closes after its challenge, and credentials that try to break
// out of their header.
#include "platform/http_client.h"
#include "tests/support/lighttpd_server.h"
#include "tests/support/script_server.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace {

const char* const kPath = "/cgi-bin/viewer/video.jpg";
const std::string kSnapshot = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(3000, '\x5A') + "\xFF\xD9";

std::string Fetch(TIdHTTP& client, const std::string& host = "") {
    TMemoryStream stream;
    client.Get("http://" + (host.empty() ? client.Host : host) + kPath, stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

void Aim(TIdHTTP& client, int port, const std::string& user, const std::string& password) {
    client.Host = "127.0.0.1";
    client.Port = port;
    client.Request->Username = user;
    client.Request->Password = password;
    client.ConnectTimeout = 2000;
    client.ReadTimeout = 5000;  // lighttpd answers a wrong password after about a second
}

TEST(HttpAuthTest, LighttpdTakesTheRightCredentialsAndRefusesAWrongPassword) {
    const struct {
        const char* name;
        LighttpdServer::Auth auth;
        const char* algorithms;
        std::string password;
    } cases[] = {
        {"Basic", LighttpdServer::Auth::Basic, "", "secret"},
        {"Digest MD5", LighttpdServer::Auth::Digest, "MD5", "secret"},
        {"Digest SHA-256", LighttpdServer::Auth::Digest, "SHA-256", "secret"},
        {"Digest offering both", LighttpdServer::Auth::Digest, "SHA-256|MD5", "secret"},
        {"Digest, password with quotes and colons", LighttpdServer::Auth::Digest, "SHA-256|MD5", "p\"a:s@s#w\\rd"},
        {"Basic, password with quotes and colons", LighttpdServer::Auth::Basic, "", "p\"a:s@s#w\\rd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LighttpdServer::Options options;
        options.auth = c.auth;
        options.algorithms = c.algorithms;
        options.password = c.password;
        options.files[kPath] = kSnapshot;
        LighttpdServer server(options);
        TIdHTTP client(nullptr);

        Aim(client, server.Port(), "admin", c.password);
        client.Connect();
        EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Fetch(client), kSnapshot); }), "");

        Aim(client, server.Port(), "admin", "wrong");
        client.Connect();
        EXPECT_EQ(ErrorOf([&] { Fetch(client); }), "HTTP/1.1 401 Unauthorized");
    }
}

std::string Md5(const std::string& text) {
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5).toHex().toStdString();
}

std::string Sha256(const std::string& text) {
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256).toHex().toStdString();
}

/// The parameters of a Digest Authorization header, quoted values unescaped.
std::map<std::string, std::string> DigestParameters(const std::string& header) {
    std::map<std::string, std::string> values;
    std::size_t at = header.find(' ');
    while (at != std::string::npos && at < header.size()) {
        at = header.find_first_not_of(", ", at);
        if (at == std::string::npos) break;
        const std::size_t equals = header.find('=', at);
        if (equals == std::string::npos) break;
        const std::string name = header.substr(at, equals - at);
        std::string value;
        at = equals + 1;
        if (at < header.size() && header[at] == '"') {
            for (++at; at < header.size() && header[at] != '"'; ++at) {
                if (header[at] == '\\') ++at;
                if (at < header.size()) value += header[at];
            }
            ++at;
        } else {
            const std::size_t end = header.find(',', at);
            value = header.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end;
        }
        values[name] = value;
    }
    return values;
}

/// Whether a Digest answer proves `user` and `password` for `nonce`, as RFC 2069 or with qop.
bool DigestProves(const std::string& header, const std::string& user, const std::string& password,
                  const std::string& nonce, bool sha256) {
    auto p = DigestParameters(header);
    auto hash = [&](const std::string& text) { return sha256 ? Sha256(text) : Md5(text); };
    const std::string ha1 = hash(user + ":" + p["realm"] + ":" + password);
    const std::string ha2 = hash("GET:" + p["uri"]);
    const std::string expected = p.count("qop") ? hash(ha1 + ":" + nonce + ":" + p["nc"] + ":" + p["cnonce"] + ":" + p["qop"] + ":" + ha2)
                                                : hash(ha1 + ":" + nonce + ":" + ha2);
    return p["username"] == user && p["nonce"] == nonce && p["uri"] == kPath && p["response"] == expected;
}

std::string Base64(const std::string& text) {
    return QByteArray::fromStdString(text).toBase64().toStdString();
}

const std::string kBasic = "WWW-Authenticate: Basic realm=\"camera\"\r\n";
const std::string kDigestMd5 = "WWW-Authenticate: Digest realm=\"camera\", nonce=\"n1\", qop=\"auth\", algorithm=MD5\r\n";
const std::string kDigest2069 = "WWW-Authenticate: Digest realm=\"camera\", nonce=\"n1\"\r\n";
const std::string kDigestSha = "WWW-Authenticate: Digest realm=\"camera\", nonce=\"n1\", qop=\"auth\", algorithm=SHA-256\r\n";

// Nothing goes out before the camera asks; then its strongest scheme answers, on the same
// connection when the camera keeps it open, on a new one when it closes after its challenge.
TEST(HttpAuthTest, AnswersTheChallengeWithTheStrongestSchemeOffered) {
    const struct {
        const char* name;
        std::string challenge;
        bool closes;
        const char* scheme;
        bool sha256;
    } cases[] = {
        {"Basic only", kBasic, false, "Basic", false},
        {"Basic, then Digest", kBasic + kDigestMd5, false, "Digest", false},
        {"Digest, then Basic", kDigestMd5 + kBasic, false, "Digest", false},
        {"Digest without qop", kDigest2069, false, "Digest", false},
        {"Digest SHA-256", kDigestSha, false, "Digest", true},
        {"Digest, closing after the challenge", kDigestMd5, true, "Digest", false},
        {"Basic, closing after the challenge", kBasic, true, "Basic", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedReply challenge = HttpReply("401 Unauthorized", "denied", c.challenge);
        challenge.close = c.closes;
        ScriptServer server({challenge, HttpReply("200 OK", kSnapshot)});
        TIdHTTP client(nullptr);
        Aim(client, server.Port(), "admin", "secret");
        client.Connect();
        EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Fetch(client), kSnapshot); }), "");

        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_TRUE(requests[0].Headers("Authorization").empty());
        ASSERT_EQ(requests[1].Headers("Authorization").size(), 1u);
        const std::string answer = requests[1].Header("Authorization");
        EXPECT_EQ(answer.substr(0, answer.find(' ')), c.scheme);
        if (std::string(c.scheme) == "Basic") EXPECT_EQ(answer, "Basic " + Base64("admin:secret"));
        else EXPECT_TRUE(DigestProves(answer, "admin", "secret", "n1", c.sha256)) << answer;
        EXPECT_EQ(server.Connections(), c.closes ? 2 : 1);
        EXPECT_EQ(requests[1].connection, c.closes ? 1 : 0);
    }
}

TEST(HttpAuthTest, EachGetStartsAFreshHandshake) {
    auto challenge = [](const char* nonce) {
        return HttpReply("401 Unauthorized", "", "WWW-Authenticate: Digest realm=\"camera\", nonce=\"" +
                                                     std::string(nonce) + "\", qop=\"auth\"\r\n");
    };
    ScriptServer server({challenge("first"), HttpReply("200 OK", "1"), challenge("second"), HttpReply("200 OK", "2")});
    TIdHTTP client(nullptr);
    Aim(client, server.Port(), "admin", "secret");
    client.Connect();
    EXPECT_EQ(Fetch(client), "1");
    client.Connect();
    EXPECT_EQ(Fetch(client), "2");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[2].Headers("Authorization").empty());
    EXPECT_TRUE(DigestProves(requests[3].Header("Authorization"), "admin", "secret", "second", false));
}

TEST(HttpAuthTest, BasicGoesUpFrontOnlyWhenTheRequestSaysSo) {
    ScriptServer server({HttpReply("200 OK", "a")});
    TIdHTTP client(nullptr);
    Aim(client, server.Port(), "admin", "secret");
    client.Request->BasicAuthentication = true;
    Fetch(client);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Header("Authorization"), "Basic " + Base64("admin:secret"));
}

// A user ID or password is carried inside one header whatever it holds, or refused before
// anything is sent.
TEST(HttpAuthTest, CredentialsCannotAddHeadersOrBreakTheirOwn) {
    const std::regex headerLine("[A-Za-z-]+: [^\r\n]*");
    const struct {
        std::string user;
        std::string password;
        bool refused;
    } cases[] = {
        {"ad\"min", "se\"cret", false},
        {"ad\\\"min", "\"", false},
        {"ad:min", "se:cr:et", false},
        {"admin@camera", "p@ss#word", false},
        {"admin#1", "#", false},
        {"admin\r\nX-Injected: 1", "secret", true},
        {"admin", "secret\r\nX-Injected: 1", true},
        {"admin\n", "secret", true},
        {"admin", std::string("sec\0ret", 7), true},
    };
    for (const std::string& challenge : {kBasic, kDigestMd5}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(challenge + c.user + " / " + c.password);
            ScriptServer server({HttpReply("401 Unauthorized", "", challenge), HttpReply("200 OK", "in")});
            TIdHTTP client(nullptr);
            Aim(client, server.Port(), c.user, c.password);
            const std::string error = ErrorOf([&] { Fetch(client); });
            const auto requests = server.Requests();
            if (c.refused) {
                EXPECT_NE(error.find("contains a line break or other control character"), std::string::npos) << error;
                EXPECT_EQ(server.Connections(), 0);
                continue;
            }
            EXPECT_EQ(error, "");
            ASSERT_EQ(requests.size(), 2u);
            const std::string& raw = requests[1].raw;
            std::size_t at = raw.find("\r\n") + 2;
            std::vector<std::string> names;
            for (std::size_t end; (end = raw.find("\r\n", at)) != at; at = end + 2) {
                const std::string line = raw.substr(at, end - at);
                EXPECT_TRUE(std::regex_match(line, headerLine)) << line;
                names.push_back(line.substr(0, line.find(':')));
            }
            EXPECT_EQ(names, (std::vector<std::string>{"Host", "Authorization", "User-Agent", "Accept"}));
            const std::string answer = requests[1].Header("Authorization");
            if (challenge == kBasic) EXPECT_EQ(answer, "Basic " + Base64(c.user + ":" + c.password));
            else EXPECT_TRUE(DigestProves(answer, c.user, c.password, "n1", false)) << answer;
        }
    }
}

TEST(HttpAuthTest, CredentialsGoOnlyToTheCamerasHost) {
    ScriptServer elsewhere({HttpReply("401 Unauthorized", "", kBasic), HttpReply("401 Unauthorized", "", kBasic)});
    ScriptServer camera({HttpReply("401 Unauthorized", "", kBasic),
                         HttpReply("302 Found", "", "Location: http://localhost:" + std::to_string(elsewhere.Port()) + "/x\r\n")});
    TIdHTTP client(nullptr);
    Aim(client, camera.Port(), "admin", "secret");
    // A redirect to another host takes no credentials along.
    EXPECT_EQ(ErrorOf([&] { Fetch(client); }), "HTTP/1.1 401 Unauthorized");
    ASSERT_EQ(camera.Requests().size(), 2u);
    EXPECT_EQ(camera.Requests()[1].Header("Authorization"), "Basic " + Base64("admin:secret"));
    // Nor does a URL naming another host than the one the credentials were given with.
    client.Port = elsewhere.Port();
    EXPECT_EQ(ErrorOf([&] { Fetch(client, "localhost"); }), "HTTP/1.1 401 Unauthorized");
    const auto requests = elsewhere.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests) EXPECT_TRUE(r.Headers("Authorization").empty()) << r.raw;
}

}  // namespace
