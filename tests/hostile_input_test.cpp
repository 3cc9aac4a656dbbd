// Hostile text in the window's four fields, put in through the fields as a paste does: each
// Connect ends in the picture or in one message, and whatever reaches the camera is one plain
// request for the snapshot path, with no header line the user could have injected and no
// credentials in the URL.
//
// Host names that are not addresses carry a label longer than 63 bytes (also after IDN
// conversion), which the resolver refuses without asking a name server: the tests stay on
// loopback whatever the client does with them.
#include "tests/support/camera_window.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/messages.h"
#include "tests/support/script_server.h"
#include "ui/Unit1.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <fnmatch.h>

#include <set>

namespace {

const Bytes kJpeg = MakeJpeg({.width = 96, .height = 72});
const std::string kSnapshotRequestLine = "GET /cgi-bin/viewer/video.jpg HTTP/1.1";

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// A label no resolver looks up, in plain letters, Chinese and Hebrew (right to left).
const std::string kLongLabel = std::string(70, 'x');
const std::string kChinese = Repeat("相機", 35);
const std::string kHebrew = Repeat("מצלמה", 14);

// A camera wanting Digest or Basic credentials, then sending the picture.
ScriptedReply Camera(const ScriptedRequest& request) {
    if (request.Header("Authorization").empty())
        return HttpReply("401 Unauthorized", "",
                         "WWW-Authenticate: Digest realm=\"camera\", nonce=\"0ddba11\", qop=\"auth\"\r\n"
                         "WWW-Authenticate: Basic realm=\"camera\"\r\n");
    return HttpReply("200 OK", std::string(kJpeg.begin(), kJpeg.end()), "Content-Type: image/jpeg\r\n");
}

// What a plain request for the snapshot looks like: the request line, then only the headers
// the client sends, each once, on lines of their own.
void ExpectPlainSnapshotRequest(const ScriptedRequest& request, int port) {
    EXPECT_EQ(request.RequestLine(), kSnapshotRequestLine);
    const std::set<std::string> allowed = {"Host", "Authorization", "User-Agent", "Accept"};
    std::size_t start = request.raw.find("\r\n") + 2;
    for (std::size_t end; (end = request.raw.find("\r\n", start)) != start && end != std::string::npos; start = end + 2) {
        const std::string line = request.raw.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "a line break inside: " << line.substr(0, 200);
        const std::string name = line.substr(0, line.find(':'));
        EXPECT_TRUE(allowed.count(name)) << "unexpected header line: " << line.substr(0, 200);
    }
    EXPECT_EQ(request.Headers("Host"), std::vector<std::string>{"127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(request.Headers("User-Agent").size(), 1u);
    EXPECT_EQ(request.Headers("Accept").size(), 1u);
    EXPECT_LE(request.Headers("Authorization").size(), 1u);
}

class HostileInputTest : public CameraWindowTest {
protected:
    void SetUp() override { ShowWindow(1000, 1000); }

    // Replaces the field's text as a paste does.
    static void Paste(TEdit* field, const std::string& text) {
        field->LineEdit()->clear();
        field->LineEdit()->insert(QString::fromStdString(text));
    }
    std::vector<std::string> Connect(const std::string& address, const std::string& port, const std::string& user,
                                     const std::string& password) {
        Paste(form->Edit1, address);
        Paste(form->Edit2, port);
        Paste(form->Edit3, user);
        Paste(form->Edit4, password);
        return CameraWindowTest::Connect();
    }

    struct Case {
        std::string name;
        std::string address, port, user, password;
        std::string message;  // "" for the picture; '*' stands for any text
    };

    // Runs each case after a good Connect (so an empty port field leaves the client's settings
    // on the camera), and checks its outcome and every request the camera saw.
    void Run(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            ScriptServer camera(&Camera);
            const std::string port = std::to_string(camera.Port());
            ASSERT_EQ(Connect("127.0.0.1", port, "admin", "secret"), std::vector<std::string>{});
            const std::size_t before = camera.Requests().size();
            const TGraphic* previous = ShownGraphic();

            const auto messages = Connect(c.address, c.port == "PORT" ? port : c.port, c.user, c.password);
            if (c.message.empty()) {
                EXPECT_EQ(messages, std::vector<std::string>{});
                EXPECT_NE(ShownGraphic(), previous);
            } else if (messages.size() != 1) {
                ADD_FAILURE() << messages.size() << " messages instead of one";
            } else {
                EXPECT_EQ(fnmatch(c.message.c_str(), messages[0].c_str(), 0), 0) << messages[0].substr(0, 300);
                EXPECT_EQ(ShownGraphic(), previous);
            }
            EXPECT_TRUE(form->Button1->Enabled());
            const auto requests = camera.Requests();
            EXPECT_LE(requests.size() - before, c.message.empty() ? 2u : 0u);
            for (std::size_t i = before; i < requests.size(); ++i) ExpectPlainSnapshotRequest(requests[i], camera.Port());
        }
    }
};

TEST_F(HostileInputTest, AddressesAreRefusedOrFetchTheSnapshotPath) {
    const std::string notFound = "Host '*' not found*";
    const std::string invalid = "Host '*' is not a valid host name: it contains a blank or control character";
    const std::string badIdn = "HTTP request failed: URL using bad/illegal format or missing URL";
    const std::string otherPath = "The camera address must be a host name or an IP address, without '?'";
    std::vector<Case> cases;
    for (const bool portTyped : {true, false}) {
        const std::string port = portTyped ? "PORT" : "";
        const std::string with = portTyped ? ", port typed" : ", port empty";
        // With the port empty nothing is connected and the address goes only into the URL.
        const std::string refusedUrl = portTyped ? notFound : otherPath;
        cases.insert(cases.end(), {
            {"100 KB of text" + with, std::string(100 * 1024, 'a'), port, "admin", "secret",
             portTyped ? notFound : "HTTP request failed: Too long host name (maximum is 65535)"},
            {"control characters" + with, "127.0.0.1\x01\x02\x7f", port, "admin", "secret",
             portTyped ? invalid : "The URL contains a control character"},
            {"CR LF and a header" + with, "127.0.0.1\r\nX-Injected: 1", port, "admin", "secret",
             portTyped ? invalid : "The URL contains a control character"},
            {"a path" + with, "127.0.0.1/" + kLongLabel + "/x", port, "admin", "secret", refusedUrl},
            {"credentials" + with, "admin:secret@" + kLongLabel + ".127.0.0.1", port, "admin", "secret", refusedUrl},
            {"a query" + with, "127.0.0.1?" + kLongLabel, port, "admin", "secret", refusedUrl},
            {"a fragment" + with, "127.0.0.1#" + kLongLabel, port, "admin", "secret", refusedUrl},
            {"a blank inside" + with, "127.0.0.1 " + kLongLabel, port, "admin", "secret",
             portTyped ? invalid : "The URL's host contains a blank: *"},
            // libcurl's IDN conversion refuses the label that the resolver would not look up.
            {"Chinese" + with, kChinese, port, "admin", "secret", portTyped ? notFound : badIdn},
            {"Hebrew, right to left" + with, "\u202B" + kHebrew + "\u202C", port, "admin", "secret",
             portTyped ? notFound : badIdn},
        });
    }
    Run(cases);
}

TEST_F(HostileInputTest, CredentialsReachTheCameraOnlyInsideTheirHeader) {
    const std::string userRefused = "The user ID contains a line break or other control character and cannot be sent";
    const std::string passwordRefused = "The password contains a line break or other control character and cannot be sent";
    const std::string camera = "127.0.0.1";
    Run({
        {"100 KB user ID", camera, "PORT", std::string(100 * 1024, 'u'), "secret", ""},
        {"100 KB password", camera, "PORT", "admin", std::string(100 * 1024, 'p'), ""},
        {"control characters in the user ID", camera, "PORT", "ad\x01min\x7f", "secret", userRefused},
        {"CR LF and a header in the user ID", camera, "PORT", "admin\r\nX-Injected: 1", "secret", userRefused},
        {"CR LF and a header in the password", camera, "PORT", "admin", "secret\r\nX-Injected: 1", passwordRefused},
        {"a bare LF in the password", camera, "PORT", "admin", "sec\nret", passwordRefused},
        {"URL delimiters in the user ID", camera, "PORT", "a/d@m?i#n", "secret", ""},
        {"URL delimiters and quotes in the password", camera, "PORT", "admin", "s/e@c?r#e:t\"\\", ""},
        {"blanks around and inside", camera, "PORT", " ad min ", " sec ret ", ""},
        {"Chinese", camera, "PORT", "使用者", "密碼", ""},
        {"Hebrew, right to left", camera, "PORT", "\u202Bמשתמש\u202C", "סיסמה", ""},
    });
}

TEST_F(HostileInputTest, PortsThatAreNoTcpPortAreRefusedBeforeAnyRequest) {
    auto notInteger = [](const std::string& text) { return "'" + text + "' is not a valid integer value"; };
    std::vector<Case> cases;
    for (const auto& [port, message] : std::vector<std::pair<std::string, std::string>>{
             {"0", "Port 0 is out of range (1 to 65535)"},
             {"65536", "Port 65536 is out of range (1 to 65535)"},
             {"-1", "Port -1 is out of range (1 to 65535)"},
             {"99999999999", notInteger("99999999999")},
             {" 80", notInteger(" 80")},
             {"80 ", notInteger("80 ")},
             {"0x50", notInteger("0x50")},
             {"８０", notInteger("８０")},
             {"80\r\nX-Injected: 1", notInteger("80\r\nX-Injected: 1")},
             {std::string(100 * 1024, '9'), notInteger(std::string(100 * 1024, '9'))},
         })
        cases.push_back({"port '" + port.substr(0, 20) + "'", "127.0.0.1", port, "admin", "secret", message});
    Run(cases);
}

}  // namespace
