// The HTTP client's connection: what Connect makes, what a Get travels over, and how each
// failure to connect reads.
#include "platform/exception.h"
#include "platform/http_client.h"
#include "tests/support/http_client_fixture.h"
#include "tests/support/script_server.h"

#include <gtest/gtest.h>

namespace {

using HttpConnectionTest = HttpClientFixture;

TEST_F(HttpConnectionTest, AGetAfterConnectTravelsOverThatOneConnection) {
    const struct {
        std::string host;  // as typed
        std::string url;   // as a Get is given it
        bool ipv6;
    } cases[] = {
        {"127.0.0.1", "http://127.0.0.1/cgi-bin/viewer/video.jpg", false},
        {"localhost", "http://localhost/cgi-bin/viewer/video.jpg", false},
        {"LocalHost", "http://localhost/cgi-bin/viewer/video.jpg", false},
        {"::1", "http://::1/cgi-bin/viewer/video.jpg", true},
        {"[::1]", "http://[::1]/cgi-bin/viewer/video.jpg", true},
        {"::1", "http://[::1]/cgi-bin/viewer/video.jpg", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host + " " + c.url);
        ScriptServer server({HttpReply("200 OK", "one")}, c.ipv6);
        Aim(server, c.host);
        client.Connect();
        EXPECT_TRUE(client.Connected());
        EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Fetch(c.url), "one"); }), "");
        EXPECT_EQ(server.Connections(), 1);
        // The connection served its one request and is closed with it.
        EXPECT_FALSE(client.Connected());
        EXPECT_TRUE(server.WaitClosedByClient(0, 2000));
    }
}

TEST_F(HttpConnectionTest, ConnectingAgainReplacesTheOpenConnection) {
    ScriptServer server(std::vector<ScriptedReply>{});
    Aim(server);
    client.Connect();
    client.Connect();
    EXPECT_TRUE(client.Connected());
    EXPECT_TRUE(server.WaitClosedByClient(0, 2000));
    EXPECT_EQ(server.WaitForConnections(2, 2000), 2);
    EXPECT_FALSE(server.WaitClosedByClient(1, 50));
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_TRUE(server.WaitClosedByClient(1, 2000));
    client.Disconnect();  // nothing open: nothing happens
}

TEST_F(HttpConnectionTest, AConnectionTheCameraDroppedIsReplacedByAFreshOne) {
    ScriptServer server({HttpReply("200 OK", "fresh")});
    Aim(server);
    client.Connect();
    ASSERT_EQ(server.WaitForConnections(1, 2000), 1);
    server.HangUp(0);
    EXPECT_EQ(Fetch(), "fresh");
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(server.Requests().at(0).connection, 1);
}

TEST_F(HttpConnectionTest, AGetMakesItsOwnConnectionWhenItMust) {
    ScriptServer camera({HttpReply("200 OK", "camera"), HttpReply("200 OK", "camera")});
    ScriptServer other({HttpReply("200 OK", "other")});
    Aim(camera);
    // Not connected: the Get connects by itself.
    EXPECT_EQ(Fetch(), "camera");
    // Another port in the URL: that server, not the connection to the client's port.
    client.Connect();
    EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(other.Port()) + "/x"), "other");
    EXPECT_EQ(camera.WaitForConnections(2, 2000), 2);
    // Another host in the URL: its own connection, on the client's port since the URL names none.
    client.Host = "localhost";
    client.Connect();
    EXPECT_EQ(Fetch("http://127.0.0.1/x"), "camera");
    EXPECT_EQ(camera.WaitForConnections(4, 2000), 4);
}

TEST_F(HttpConnectionTest, ConnectNamesTheHostAndPortOfEachFailure) {
    RefusingPort refusing;
    UnansweredPort unanswered;
    const std::string unknown = "no-camera-" + std::string(70, 'x') + ".invalid";  // too long a label for any lookup
    const struct {
        std::string host;
        int port;
        int timeout;
        std::string message;
    } cases[] = {
        {"127.0.0.1", refusing.Port(), -1, "Connection refused by 127.0.0.1 port " + std::to_string(refusing.Port())},
        {"127.0.0.1", unanswered.Port(), 300,
         "Connection to 127.0.0.1 port " + std::to_string(unanswered.Port()) + " timed out after 300 ms"},
        {"127.0.0.1", unanswered.Port(), -1,
         "Connection to 127.0.0.1 port " + std::to_string(unanswered.Port()) + " timed out after 400 ms"},
        {unknown, 80, -1, "Host '" + unknown + "' not found"},
        {"", 80, -1, "No host is set to connect to"},
        {"127.0.0.1 ", 80, -1, "Host '127.0.0.1 ' is not a valid host name: it contains a blank or control character"},
        {"127.0.0.1", 0, -1, "Port 0 is out of range (1 to 65535)"},
    };
    client.ConnectTimeout = 400;
    ScriptServer working({HttpReply("200 OK", "fine")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        client.Host = c.host;
        client.Port = c.port;
        EXPECT_EQ(ErrorOf([&] { client.Connect(c.timeout); }), c.message);
        EXPECT_FALSE(client.Connected());
        Aim(working);
        client.Connect();
        EXPECT_TRUE(client.Connected());
    }
}

TEST_F(HttpConnectionTest, AGetsOwnConnectionFailsWithTheSameMessages) {
    RefusingPort refusing;
    client.Host = "127.0.0.1";
    client.Port = refusing.Port();
    EXPECT_EQ(ErrorOf([&] { Fetch(); }), "Connection refused by 127.0.0.1 port " + std::to_string(refusing.Port()));
    UnansweredPort unanswered;
    client.Port = unanswered.Port();
    client.ConnectTimeout = 300;
    EXPECT_EQ(ErrorOf([&] { Fetch(); }),
              "Connection to 127.0.0.1 port " + std::to_string(unanswered.Port()) + " timed out after 300 ms");
}

}  // namespace
