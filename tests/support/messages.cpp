#include "tests/support/messages.h"

#include "platform/application.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {
std::vector<std::string> recorded;
}

void RecordMessages(TApplication& application) {
    application.MessageSink = [](const std::string& message) { recorded.push_back(message); };
}

std::vector<std::string> TakeMessages() {
    ProcessEvents();
    return std::exchange(recorded, {});
}

void ProcessEvents(int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (timer.elapsed() < ms);
}
