#include "tests/support/camera_window.h"

#include "tests/support/messages.h"

#include <QLineEdit>
#include <QTest>

void CameraWindowTest::SetUp() { ShowWindow(2000, 700); }

void CameraWindowTest::ShowWindow(int connectMs, int readMs) {
    form = std::make_unique<TForm1>(nullptr);
    form->IdHTTP1->ConnectTimeout = connectMs;
    form->IdHTTP1->ReadTimeout = readMs;
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->Window()));
    TakeMessages();
}

void CameraWindowTest::Type(TEdit* field, const std::string& text) {
    field->LineEdit()->clear();
    QTest::keyClicks(field->LineEdit(), QString::fromStdString(text));
}

void CameraWindowTest::TypeSettings(const std::string& address, int port, const std::string& user,
                                    const std::string& password) {
    Type(form->Edit1, address);
    Type(form->Edit2, port ? std::to_string(port) : "");
    Type(form->Edit3, user);
    Type(form->Edit4, password);
}

std::vector<std::string> CameraWindowTest::Connect() {
    QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton);
    form->Image1->Widget()->repaint();
    return TakeMessages();
}
