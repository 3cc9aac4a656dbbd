// The main window as the stored layout describes it.
#include "tests/support/messages.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Geometry {
    const char* name;
    int left, top, width, height;
    const char* caption;  // nullptr: no caption
    bool largeFont;
};

const Geometry kComponents[] = {
    {"Label1", 720, 88, 66, 21, "IP位址", true},    {"Label2", 720, 144, 44, 21, "Post", true},
    {"Label3", 720, 200, 77, 21, "User ID", true},  {"Label4", 720, 256, 88, 21, "Password", true},
    {"Image1", 48, 40, 321, 241, nullptr, false},   {"Button1", 720, 48, 65, 33, "連線", false},
    {"Button2", 792, 48, 57, 33, "斷線", false},    {"Edit1", 720, 112, 201, 29, nullptr, true},
    {"Edit2", 720, 168, 201, 29, nullptr, true},    {"Edit3", 720, 224, 201, 29, nullptr, true},
    {"Edit4", 720, 280, 201, 29, nullptr, true},
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm1>(nullptr);
        form->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form->Window()));
    }
    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowTest, WindowHasItsStoredSizeCaptionAndFont) {
    EXPECT_EQ(form->Window()->size(), QSize(938, 640));
    EXPECT_EQ(form->Caption(), "Form1");
    EXPECT_EQ(form->Window()->font().pixelSize(), 11);
    EXPECT_EQ(form->Components().size(), 12u);
}

TEST_F(MainWindowTest, ComponentsSitWhereTheLayoutPutsThem) {
    for (const Geometry& g : kComponents) {
        SCOPED_TRACE(g.name);
        auto* control = dynamic_cast<TControl*>(form->FindComponent(g.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->Widget()->geometry(), QRect(g.left, g.top, g.width, g.height));
        EXPECT_TRUE(control->Widget()->isVisible());
        if (auto* label = dynamic_cast<TLabel*>(control)) {
            EXPECT_EQ(label->Caption(), g.caption);
        } else if (auto* button = dynamic_cast<TButton*>(control)) {
            EXPECT_EQ(button->Caption(), g.caption);
        } else if (auto* edit = dynamic_cast<TEdit*>(control)) {
            EXPECT_EQ(edit->Text(), "");
        }
    }
}

TEST_F(MainWindowTest, LabelsAndFieldsUseTheLargeKaiFaceButtonsTheWindowFont) {
    for (const Geometry& g : kComponents) {
        if (std::string(g.name) == "Image1") continue;
        SCOPED_TRACE(g.name);
        QWidget* widget = static_cast<TControl*>(form->FindComponent(g.name))->Widget();
        const QFontInfo info(widget->font());
        if (g.largeFont) {
            EXPECT_EQ(info.pixelSize(), 21);
            EXPECT_TRUE(info.family().startsWith("AR PL UKai")) << info.family().toStdString();
        } else {
            EXPECT_EQ(info.pixelSize(), 11);
            EXPECT_FALSE(info.family().startsWith("AR PL")) << info.family().toStdString();
        }
    }
}

TEST_F(MainWindowTest, TabMovesThroughButtonsThenFieldsInOrder) {
    const std::vector<QWidget*> expected = {form->Button1->Widget(), form->Button2->Widget(),
                                            form->Edit1->Widget(),   form->Edit2->Widget(),
                                            form->Edit3->Widget(),   form->Edit4->Widget()};
    form->Window()->activateWindow();
    expected[0]->setFocus();
    for (std::size_t i = 1; i <= expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected[i % expected.size()]) << "after tab " << i;
    }
}

TEST_F(MainWindowTest, TypedTextIsReadBackAndThePasswordIsShownInClear) {
    QTest::keyClicks(form->Edit4->LineEdit(), "secret pw");
    form->Edit4->LineEdit()->insert(QString::fromUtf8(" 密碼"));
    EXPECT_EQ(form->Edit4->Text(), "secret pw 密碼");
    EXPECT_EQ(form->Edit4->LineEdit()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(form->Edit4->LineEdit()->displayText(), QString::fromUtf8("secret pw 密碼"));
}

TEST_F(MainWindowTest, PictureAreaStartsBlankWithoutStretch) {
    EXPECT_EQ(form->Image1->Picture()->Graphic(), nullptr);
    EXPECT_FALSE(form->Image1->Stretch());
}

TEST_F(MainWindowTest, HttpClientCarriesTheRequestProfile) {
    const TIdHTTP& http = *form->IdHTTP1;
    EXPECT_EQ(http.MaxLineAction, TIdMaxLineAction::maException);
    EXPECT_TRUE(http.AllowCookies);
    EXPECT_FALSE(http.ProxyParams->BasicAuthentication);
    EXPECT_EQ(http.ProxyParams->ProxyPort, 0);
    EXPECT_EQ(http.Request->ContentLength, -1);
    EXPECT_EQ(http.Request->ContentRangeStart, 0);
    EXPECT_EQ(http.Request->ContentRangeEnd, 0);
    EXPECT_EQ(http.Request->ContentType, "text/html");
    EXPECT_EQ(http.Request->Accept, "text/html, */*");
    EXPECT_FALSE(http.Request->BasicAuthentication);
    EXPECT_EQ(http.Request->UserAgent, "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_TRUE(http.ForceEncodeParams);
}

}  // namespace
