// Connect's first stage and the Disconnect command, through the main window: which settings reach
// the HTTP client, when a connection is opened, and what the camera sees of it.
#include "tests/support/messages.h"
#include "tests/support/script_server.h"
#include "ui/Unit1.h"

#include <gtest/gtest.h>

namespace {

class CameraConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TakeMessages();
        form->IdHTTP1->ConnectTimeout = 2000;
        form->IdHTTP1->ReadTimeout = 2000;
    }

    void Type(const std::string& address, const std::string& port, const std::string& user, const std::string& password) {
        form->Edit1->SetText(address);
        form->Edit2->SetText(port);
        form->Edit3->SetText(user);
        form->Edit4->SetText(password);
    }

    const std::unique_ptr<TForm1> form = std::make_unique<TForm1>(nullptr);
    ScriptServer camera{std::vector<ScriptedReply>{}};
    const std::string port = std::to_string(camera.Port());
};

TEST_F(CameraConnectionTest, AppliesTheFieldsOnlyWhenAddressAndPortAreFilled) {
    RefusingPort refusing;
    const std::string refused = std::to_string(refusing.Port());
    const std::string unknown = "no-camera-" + std::string(70, 'x') + ".invalid";  // too long a label for any lookup
    struct Case {
        const char* name;
        std::string address, port, user, password;  // typed
        std::string message;                        // "" for none
        std::string host, appliedPort, appliedUser;  // the client's settings afterwards
        bool opened;                                 // a new connection reached the camera
    };
    // Each case starts from a client holding 127.0.0.1, the camera's port and "old"/"old-pw",
    // with a connection open.
    const Case cases[] = {
        {"address empty: the port is not even read", "", "letters", "u", "p", "", "127.0.0.1", port, "old", false},
        {"port empty", "localhost", "", "u", "p", "", "127.0.0.1", port, "old", false},
        {"letters in the port", "localhost", "80a", "u", "p", "'80a' is not a valid integer value", "localhost", port, "old", false},
        {"blank before the port", "localhost", " " + port, "u", "p", "' " + port + "' is not a valid integer value", "localhost", port, "old", false},
        {"port 0", "localhost", "0", "u", "p", "Port 0 is out of range (1 to 65535)", "localhost", port, "old", false},
        {"port -1", "localhost", "-1", "u", "p", "Port -1 is out of range (1 to 65535)", "localhost", port, "old", false},
        {"port 70000", "localhost", "70000", "u", "p", "Port 70000 is out of range (1 to 65535)", "localhost", port, "old", false},
        {"new settings", "localhost", port, "u", "p", "", "localhost", port, "u", true},
        {"empty credentials replace the old ones", "127.0.0.1", port, "", "", "", "127.0.0.1", port, "", true},
        {"address with a trailing blank, passed as typed", "127.0.0.1 ", port, "u", "p",
         "Host '127.0.0.1 ' is not a valid host name: it contains a blank or control character", "127.0.0.1 ", port, "u", false},
        {"refused port", "127.0.0.1", refused, "u", "p", "Connection refused by 127.0.0.1 port " + refused, "127.0.0.1", refused, "u", false},
        {"unknown host", unknown, port, "u", "p", "Host '" + unknown + "' not found", unknown, port, "u", false},
    };
    int before = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Type("127.0.0.1", port, "old", "old-pw");
        form->ConfigureAndOpen();
        ASSERT_EQ(camera.WaitForConnections(++before, 2000), before);

        Type(c.address, c.port, c.user, c.password);
        EXPECT_EQ(ErrorOf([&] { form->ConfigureAndOpen(); }), c.message);
        TIdHTTP& client = *form->IdHTTP1;
        EXPECT_EQ(client.Host, c.host);
        EXPECT_EQ(std::to_string(client.Port), c.appliedPort);
        EXPECT_EQ(client.Request->Username, c.appliedUser);
        EXPECT_EQ(client.Request->Password, c.appliedUser == "old" ? "old-pw" : c.password);
        // Waiting a little for one more than expected shows that none came unexpectedly.
        if (c.opened) ++before;
        EXPECT_EQ(camera.WaitForConnections(before + 1, 50), before);
        // The old connection stays unless a connection was attempted, which replaces it.
        const bool attempted = c.opened || c.message.rfind("Host", 0) == 0 || c.message.rfind("Connection", 0) == 0;
        EXPECT_EQ(client.Connected(), c.opened || !attempted);
        const int old = before - (c.opened ? 2 : 1);
        EXPECT_EQ(camera.WaitClosedByClient(old, attempted ? 2000 : 20), attempted);
    }
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(CameraConnectionTest, DisconnectFirstThingAndTwiceInARowRaisesNothing) {
    form->Button2->Click();
    form->Button2->Click();
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_FALSE(form->IdHTTP1->Connected());
}

TEST_F(CameraConnectionTest, TheCameraSeesTheConnectionClosedOnDisconnect) {
    Type("127.0.0.1", port, "admin", "secret");
    form->ConfigureAndOpen();
    EXPECT_TRUE(form->IdHTTP1->Connected());
    EXPECT_FALSE(camera.WaitClosedByClient(0, 50));
    form->Button2->Click();
    EXPECT_TRUE(camera.WaitClosedByClient(0, 2000));
    EXPECT_FALSE(form->IdHTTP1->Connected());
    form->Button2->Click();
    EXPECT_TRUE(TakeMessages().empty());
}

// A press of Connect makes exactly one TCP connection, the authentication round trip included.
TEST(CameraConnection, EachConnectMakesOneConnectionAuthenticationIncluded) {
    const ScriptedReply challenge =
        HttpReply("401 Unauthorized", "", "WWW-Authenticate: Digest realm=\"camera\", nonce=\"n\", qop=\"auth\"\r\n");
    ScriptServer camera({challenge, HttpReply("200 OK", "one"), challenge, HttpReply("200 OK", "two")});
    TForm1 form(nullptr);
    form.Edit1->SetText("127.0.0.1");
    form.Edit2->SetText(std::to_string(camera.Port()));
    form.Edit3->SetText("admin");
    form.Edit4->SetText("secret");
    for (const char* body : {"one", "two"}) {
        form.ConfigureAndOpen();
        TMemoryStream stream;
        form.IdHTTP1->Get("http://" + form.Edit1->Text() + "/cgi-bin/viewer/video.jpg", stream);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size()), body);
    }
    const auto requests = camera.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(camera.Connections(), 2);
    EXPECT_EQ(requests[1].connection, 0);
    EXPECT_EQ(requests[3].connection, 1);
    EXPECT_NE(requests[3].Header("Authorization"), "");
}

}  // namespace
