// The application shell: start-up, the event loop's error reporting and the stored layout reader.
#include "app/entry.h"
#include "platform/form.h"
#include "platform/image.h"
#include "tests/support/messages.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// A window with one button whose handler fails, built from a layout given in the test.
class TTestForm : public TForm {
public:
    TTestForm(TComponent* owner, std::string_view layout)
        : TForm(owner, layout, {{"Boom", [this](TObject*) { ++clicks; throw Exception("boom " + std::to_string(clicks)); }},
                                {"Count", [this](TObject*) { ++clicks; }}}) {}
    int clicks = 0;
};

constexpr std::string_view kButtons = R"(object F: TTestForm
  Caption = 'test'
  object Failing: TButton
    Caption = 'fail'
    OnClick = Boom
  end
  object Working: TButton
    Top = 40
    OnClick = Count
  end
end
)";

TEST(ErrorReporter, HandlerErrorIsShownOnceAndTheWindowGoesOn) {
    TTestForm form(nullptr, kButtons);
    form.Show();
    auto* failing = static_cast<TButton*>(form.FindComponent("Failing"));
    auto* working = static_cast<TButton*>(form.FindComponent("Working"));
    QTest::mouseClick(failing->Widget(), Qt::LeftButton);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"boom 1"});
    QTest::mouseClick(working->Widget(), Qt::LeftButton);
    EXPECT_EQ(form.clicks, 2);
    EXPECT_TRUE(TakeMessages().empty());
    QTest::mouseClick(failing->Widget(), Qt::LeftButton);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"boom 3"});
}

TEST(ErrorReporter, ErrorsThatAreNotOursAreReportedToo) {
    struct Case {
        std::function<void()> raise;
        std::string message;
    };
    const Case cases[] = {
        {[] { throw EConvertError("'x' is not a valid integer value"); }, "'x' is not a valid integer value"},
        {[] { throw std::bad_alloc(); }, "Out of memory"},
        {[] { throw std::runtime_error("runtime"); }, "runtime"},
        {[] { throw 42; }, ""},
    };
    for (const Case& c : cases) {
        Application->Guard(c.raise);
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{c.message});
    }
}

// A graphic whose drawing fails the first time, as a picture that cannot be decoded does.
class TFailingGraphic : public TGraphic {
public:
    int Width() const override { return 10; }
    int Height() const override { return 10; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TFailingGraphic>(); }
    void Draw(QPainter&, const QRect&) override {
        if (!failed_) {
            failed_ = true;
            throw Exception("cannot draw");
        }
    }
    bool Painted() const override { return false; }

private:
    bool failed_ = false;
};

TEST(ErrorReporter, PaintErrorIsShownAfterThePaintOnce) {
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>(nullptr);
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->Window()));
    TFailingGraphic graphic;
    form->Image1->Picture()->Assign(&graphic);
    form->Image1->Widget()->repaint();
    form->Image1->Widget()->repaint();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"cannot draw"});
}

TEST(ErrorReporter, WithoutARecorderTheMessageIsAModalBoxOfPlainText) {
    const QString pasted = QString(5000, QChar(0x9023));  // 連, a page of it typed as the address
    struct Case {
        QString message, shown;
    } const cases[] = {
        {"camera not found", "camera not found"},
        // A camera's status text is shown as it stands, not as markup.
        {"HTTP/1.1 503 <b>Busy</b>", "HTTP/1.1 503 <b>Busy</b>"},
        {"Host '" + pasted + "' not found", ("Host '" + pasted).left(TApplication::kMaxShownCharacters) + QChar(0x2026)},
    };
    auto sink = std::exchange(Application->MessageSink, nullptr);
    for (const Case& c : cases) {
        QString shown;
        bool modal = false, plain = false;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            shown = box->text();
            modal = box->isModal();
            plain = box->textFormat() == Qt::PlainText;
            box->accept();
        });
        Application->ShowException(Exception(c.message.toStdString()));
        EXPECT_EQ(shown, c.shown);
        EXPECT_TRUE(modal);
        EXPECT_TRUE(plain);
    }
    Application->MessageSink = sink;
}

TEST(StoredLayout, UnreadableLayoutsNameTheLine) {
    struct Case {
        const char* layout;
        const char* message;
    };
    const Case cases[] = {
        {"", "Layout line 0: the layout is empty"},
        {"object F: TTestForm\n  Caption = 'x'\n", "Layout line 2: 'end' of F is missing"},
        {"object F: TTestForm\n  Colour = clRed\nend\n", "Layout line 2: unknown property Colour of F (TTestForm)"},
        {"object F: TTestForm\n  object B: TFoo\n  end\nend\n", "Layout line 2: unknown component class TFoo"},
        {"object F: TTestForm\n  object B: TButton\n    Left = 'ten'\n  end\nend\n",
         "Layout line 3: an integer expected"},
        {"object F: TTestForm\n  object B: TButton\n    OnClick = Missing\n  end\nend\n",
         "Layout line 3: the form has no method Missing"},
        {"object F: TTestForm\n  Caption = 'unterminated\nend\n", "Layout line 2: unterminated text"},
        {"object F: TTestForm\n  object B: TButton\n  end\n  object B: TEdit\n  end\nend\n",
         "Layout line 4: a second component named B"},
        {"object F: TTestForm\nend\nend\n", "Layout line 3: text after the end of the layout"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        try {
            TTestForm form(nullptr, c.layout);
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST(StoredLayout, QuotesAndSetsAreRead) {
    TTestForm form(nullptr, "object F: TTestForm\n  Caption = 'it''s 連線'\n  Font.Style = [fsBold, fsItalic]\nend\n");
    EXPECT_EQ(form.Caption(), "it's 連線");
    EXPECT_EQ(form.Font().Style, (std::vector<std::string>{"fsBold", "fsItalic"}));
}

// Main windows whose start-up fails.
class TBrokenLayoutForm : public TForm {
public:
    explicit TBrokenLayoutForm(TComponent* owner) : TForm(owner, "object Form1: TForm1\n  Width = wide\nend\n", {}) {}
};
class TThrowingForm : public TForm {
public:
    explicit TThrowingForm(TComponent* owner) : TForm(owner, "object Form1: TForm1\nend\n", {}) { throw 7; }
};

template <class T>
std::pair<int, std::vector<std::string>> RunToEnd(std::function<void()> whileRunning = {}) {
    std::vector<std::string> shown;
    T* form = nullptr;
    char name[] = "camview";
    char* argv[] = {name, nullptr};
    const int code = RunApplication(1, argv, &form, [&](TApplication& app) {
        app.MessageSink = [&](const std::string& m) { shown.push_back(m); };
        if (whileRunning) QTimer::singleShot(100, whileRunning);
    });
    EXPECT_EQ(form, nullptr);
    return {code, shown};
}

TEST(Startup, BrokenLayoutIsReportedAndTheProgramEndsWithZero) {
    auto [code, shown] = RunToEnd<TBrokenLayoutForm>();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shown, std::vector<std::string>{"Layout line 2: an integer expected"});
}

TEST(Startup, ForeignThrowIsReportedWithAnEmptyMessage) {
    auto [code, shown] = RunToEnd<TThrowingForm>();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shown, std::vector<std::string>{""});
}

TEST(Startup, ClosingTheMainWindowEndsTheRunWithZero) {
    bool wasVisible = false;
    auto [code, shown] = RunToEnd<TForm1>([&] {
        wasVisible = Application->MainForm()->Window()->isVisible();
        Application->MainForm()->Close();
    });
    EXPECT_TRUE(wasVisible);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(shown.empty());
}

TEST(StrToInt, AcceptsDecimalIntegersOnly) {
    EXPECT_EQ(StrToInt("80"), 80);
    EXPECT_EQ(StrToInt("-1"), -1);
    EXPECT_EQ(StrToInt("+443"), 443);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    for (const char* bad : {"", "abc", " 80", "80 ", "0x50", "8 0", "99999999999", "2147483648", "+", "-", "８０"}) {
        SCOPED_TRACE(bad);
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

}  // namespace
