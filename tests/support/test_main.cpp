// The tests' main function: one application object on Qt's offscreen platform for the whole
// run, with the error reporter's messages recorded instead of shown in a box.
#include "tests/support/messages.h"

#include "platform/application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TApplication application(argc, argv);
    application.Initialize();
    RecordMessages(application);
    return RUN_ALL_TESTS();
}
