// The main window on the offscreen platform, driven as a user drives it: typing into the
// fields and clicking Connect.
#pragma once

#include "ui/Unit1.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class CameraWindowTest : public ::testing::Test {
protected:
    /// Shows a fresh window whose client gives up after `connectMs` / `readMs`.
    void SetUp() override;
    void ShowWindow(int connectMs, int readMs);

    /// Replaces the field's text with `text`, typed key by key.
    void Type(TEdit* field, const std::string& text);
    /// Types the four settings; a port of 0 leaves the port field empty.
    void TypeSettings(const std::string& address, int port, const std::string& user = "",
                      const std::string& password = "");
    /// Clicks Connect and lets the picture area paint; returns the messages shown meanwhile.
    std::vector<std::string> Connect();
    /// The graphic the picture area holds (null when blank).
    const TGraphic* ShownGraphic() const { return form->Image1->Picture()->Graphic(); }

    std::unique_ptr<TForm1> form;
};
