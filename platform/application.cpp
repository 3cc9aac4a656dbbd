#include "platform/application.h"

#include "platform/form.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <new>

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : TComponent(nullptr), argc_(argc), argv_(argv), previous_(Application) {
    Application = this;
}

TApplication::~TApplication() {
    // Forms (and their widgets) go before the Qt application they live in.
    DestroyComponents();
    if (Application == this) Application = previous_;
}

void TApplication::Initialize() {
    if (!QApplication::instance()) qt_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationName("camview");
    // The layout names the typefaces of the system it was designed on; these are the faces
    // that stand in for them here, best first.
    QFont::insertSubstitutions("標楷體", {"AR PL UKai TW", "AR PL UKai TW MBE", "AR PL UKai CN",
                                          "AR PL UKai HK", "AR PL UMing TW", "Noto Serif CJK TC",
                                          "Noto Sans CJK TC", "WenQuanYi Zen Hei"});
    QFont::insertSubstitutions("MS Sans Serif", {"DejaVu Sans", "Liberation Sans", "Sans Serif"});
    if (QScreen* screen = QGuiApplication::primaryScreen()) screenDepth_ = screen->depth();
}

void TApplication::AddForm(std::unique_ptr<TForm> form) {
    TForm* added = static_cast<TForm*>(InsertComponent(std::move(form)));
    if (!mainForm_) mainForm_ = added;
}

void TApplication::Run() {
    if (!mainForm_) return;
    mainForm_->Show();
    QApplication::exec();
}

void TApplication::ShowException(const Exception& error) {
    if (MessageSink) {
        MessageSink(error.Message());
        return;
    }
    QWidget* parent = mainForm_ ? mainForm_->Window() : nullptr;
    // The box shows the message as plain text (a camera's status text is no markup) and at
    // most kMaxShownCharacters of it: a page of text pasted as the address would otherwise
    // give a box larger than the screen.
    QString text = QString::fromStdString(error.Message());
    if (text.size() > kMaxShownCharacters) {
        text.truncate(kMaxShownCharacters);
        if (text.back().isHighSurrogate()) text.chop(1);
        text += QChar(0x2026);  // …
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const Exception& e) {
            ShowException(e);
        } catch (const std::bad_alloc&) {
            ShowException(Exception("Out of memory"));
        } catch (const std::exception& e) {
            ShowException(Exception(e.what()));
        } catch (...) {
            ShowException(Exception(""));
        }
    } catch (...) {
        // Showing the message failed too; there is nobody left to tell.
    }
}

void TApplication::PostException(std::exception_ptr error) {
    QTimer::singleShot(0, qApp, [this, error] { HandleException(error); });
}
