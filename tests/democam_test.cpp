// The demo camera (tools/democam): a real lighttpd on loopback serving the test card behind
// Digest authentication, fetched here with libcurl directly.
#include "tests/support/loopback.h"
#include "tests/support/democam.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <jpeglib.h>  // needs FILE and size_t declared first

namespace {

const std::string kSnapshotPath = "/cgi-bin/viewer/video.jpg";

enum class Auth { None, Digest, Basic };

struct Response {
    long status = 0;
    std::string contentType;
    std::vector<std::string> challenges;  // WWW-Authenticate values of the final response
    std::string body;
};

size_t Append(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

size_t CollectChallenge(char* data, size_t size, size_t count, void* target) {
    auto* response = static_cast<Response*>(target);
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) response->challenges.clear();  // a new response begins
    const std::string name = "WWW-Authenticate: ";
    if (line.size() > name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0)
        response->challenges.push_back(line.substr(name.size(), line.find_last_not_of("\r\n") + 1 - name.size()));
    return size * count;
}

Response Fetch(int port, const std::string& path, Auth auth, const std::string& user = "",
               const std::string& password = "") {
    Response response;
    CURL* curl = curl_easy_init();
    if (!curl) return response;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectChallenge);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response);
    if (auth != Auth::None) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, auth == Auth::Digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    }
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
        const char* type = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
        if (type) response.contentType = type;
    }
    curl_easy_cleanup(curl);
    return response;
}

struct JpegFailure {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

/// Decodes the whole of `data`; the picture's width and height, or nullopt when libjpeg fails.
/// Only plain C data lives in this function, since a longjmp skips destructors.
std::optional<std::pair<int, int>> DecodeJpeg(const std::string& data) {
    jpeg_decompress_struct cinfo;
    JpegFailure failure;
    cinfo.err = jpeg_std_error(&failure.base);
    failure.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegFailure*>(c->err)->jump, 1); };
    failure.base.emit_message = [](j_common_ptr, int) {};
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return std::nullopt;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    static unsigned char row[1 << 16];
    JSAMPROW rows[1] = {row};
    if (cinfo.output_width * cinfo.output_components > sizeof row) {
        jpeg_destroy_decompress(&cinfo);
        return std::nullopt;
    }
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    const std::pair<int, int> size(cinfo.output_width, cinfo.output_height);
    jpeg_destroy_decompress(&cinfo);
    return size;
}

}  // namespace

// One camera for the tests that only fetch from it.
class DemoCameraTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { camera = new DemoCamera(); }
    static void TearDownTestSuite() { delete camera; }
    void SetUp() override { ASSERT_TRUE(camera->Started()) << "announced: " << camera->announcement; }
    static DemoCamera* camera;
};
DemoCamera* DemoCameraTest::camera = nullptr;

TEST_F(DemoCameraTest, AnnouncesTheDemoCredentials) {
    EXPECT_EQ(camera->user, "demo");
    EXPECT_EQ(camera->password, "camview");
}

TEST_F(DemoCameraTest, ServesAFreshJpegTestCardForEachRequest) {
    std::vector<std::string> bodies;
    for (int i = 0; i < 2; ++i) {
        const Response r = Fetch(camera->port, kSnapshotPath, Auth::Digest, "demo", "camview");
        ASSERT_EQ(r.status, 200);
        EXPECT_EQ(r.contentType, "image/jpeg");
        EXPECT_EQ(DecodeJpeg(r.body), std::make_pair(640, 480));
        bodies.push_back(r.body);
    }
    EXPECT_NE(bodies[0], bodies[1]);
}

struct Refusal {
    const char* what;
    Auth auth;
    const char* user;
    const char* password;
};

TEST_F(DemoCameraTest, RefusesAnythingButDigestWithTheRightCredentials) {
    const Refusal cases[] = {
        {"no credentials", Auth::None, "", ""},
        {"wrong password", Auth::Digest, "demo", "wrong"},
        {"unknown user", Auth::Digest, "intruder", "camview"},
        {"right credentials in the clear", Auth::Basic, "demo", "camview"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        const Response r = Fetch(camera->port, kSnapshotPath, c.auth, c.user, c.password);
        EXPECT_EQ(r.status, 401);
        EXPECT_FALSE(DecodeJpeg(r.body));
        // Clients that pick the first challenge get SHA-256; MD5 stays on offer for older ones.
        ASSERT_EQ(r.challenges.size(), 2u);
        EXPECT_NE(r.challenges[0].find("Digest "), std::string::npos) << r.challenges[0];
        EXPECT_NE(r.challenges[0].find("algorithm=SHA-256"), std::string::npos) << r.challenges[0];
        EXPECT_NE(r.challenges[1].find("algorithm=MD5"), std::string::npos) << r.challenges[1];
    }
}

TEST_F(DemoCameraTest, ServesNothingButTheSnapshot) {
    // The server's own files (configuration, password file, counter) sit beside its document root.
    for (const char* path : {"/", "/lighttpd.conf", "/users", "/counter", "/cgi-bin/viewer/", "/video.jpg"}) {
        SCOPED_TRACE(path);
        const long status = Fetch(camera->port, path, Auth::Digest, "demo", "camview").status;
        EXPECT_TRUE(status == 403 || status == 404) << "status " << status;
    }
}

TEST(DemoCameraOptions, PortUserAndPasswordCanBeChosen) {
    const int port = FreeLoopbackPort();
    DemoCamera camera({"--port", std::to_string(port), "--user", "alice", "--password", "s3cret"});
    ASSERT_TRUE(camera.Started()) << "announced: " << camera.announcement;
    EXPECT_EQ(camera.announcement,
              "democam: address 127.0.0.1 port " + std::to_string(port) + " user alice password s3cret");
    EXPECT_EQ(Fetch(port, kSnapshotPath, Auth::Digest, "alice", "s3cret").status, 200);
    EXPECT_EQ(Fetch(port, kSnapshotPath, Auth::Digest, "demo", "camview").status, 401);
}

TEST(DemoCameraOptions, ATakenPortIsAnErrorNotAHang) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(s, 1), 0);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);

    DemoCamera camera({"--port", std::to_string(ntohs(address.sin_port))});
    EXPECT_FALSE(camera.Started()) << "announced: " << camera.announcement;
    const std::optional<int> status = camera.Exit();
    ASSERT_TRUE(status);
    EXPECT_NE(*status, 0);
    close(s);
}

TEST(DemoCameraStop, ASignalStopsTheServerAndRemovesItsFiles) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        const auto tmp = std::filesystem::temp_directory_path() /
                         ("democam_test." + std::to_string(getpid()) + "." + std::to_string(signal));
        std::filesystem::create_directories(tmp);
        {
            DemoCamera camera({}, tmp.string());
            ASSERT_TRUE(camera.Started()) << "announced: " << camera.announcement;
            EXPECT_FALSE(std::filesystem::is_empty(tmp));
            EXPECT_EQ(camera.Stop(signal), 0);
            EXPECT_FALSE(LoopbackAccepts(camera.port));
            EXPECT_TRUE(std::filesystem::is_empty(tmp));
        }
        std::filesystem::remove_all(tmp);
    }
}

TEST(DemoCameraStop, AServerDoesNotOutliveAKilledScript) {
    DemoCamera camera;
    ASSERT_TRUE(camera.Started()) << "announced: " << camera.announcement;
    ASSERT_TRUE(camera.Stop(SIGKILL).has_value());
    // The script could clean nothing up; its server is stopped by the system.
    bool stopped = false;
    for (int i = 0; i < 60 && !stopped; ++i) {
        stopped = !LoopbackAccepts(camera.port);
        if (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(stopped);
}
