// A bare HTTP client component aimed at a scripted server, for the client's own tests.
#pragma once

#include "platform/http_client.h"
#include "tests/support/script_server.h"

#include <gtest/gtest.h>

#include <string>

inline const char* const kSnapshotPath = "/cgi-bin/viewer/video.jpg";

/// The bytes a stream holds, as text.
inline std::string Text(const TMemoryStream& stream) {
    return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

class HttpClientFixture : public ::testing::Test {
protected:
    void SetUp() override {
        client.ConnectTimeout = 2000;
        client.ReadTimeout = 500;
    }
    void Aim(const ScriptServer& server, const std::string& host = "127.0.0.1") {
        client.Host = host;
        client.Port = server.Port();
    }
    /// GETs `url`, by default the snapshot path of the client's host; returns the body.
    std::string Fetch(const std::string& url = "") {
        TMemoryStream stream;
        client.Get(url.empty() ? "http://" + client.Host + kSnapshotPath : url, stream);
        return Text(stream);
    }

    TIdHTTP client{nullptr};
};
