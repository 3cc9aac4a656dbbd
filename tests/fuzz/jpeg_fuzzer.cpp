// libFuzzer target: arbitrary bytes as the camera's answer, loaded and painted as the Connect
// command and the picture area do.
#include "tests/fuzz/fuzz_inputs.h"

#include <QGuiApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Painting onto an image needs the GUI library started, though no window is ever shown.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication* application = new QGuiApplication(*argc, *argv);
    (void)application;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzJpeg(data, size);
    return 0;
}
