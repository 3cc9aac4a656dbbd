// The application object: owns the Qt application, the forms and the event loop, and reports
// every error that escapes a handler or a paint.
#pragma once

#include "platform/component.h"
#include "platform/exception.h"

#include <exception>
#include <functional>
#include <memory>

class QApplication;
class TForm;

class TApplication : public TComponent {
public:
    /// `argc` and `argv` go to Qt (which keeps references to them); the program reads neither.
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    /// Starts the windowing system, sets up font substitutes and reads the screen's depth.
    void Initialize();

    /// Creates a form owned by the application; the first one becomes the main window.
    template <class T>
    void CreateForm(T** reference) {
        auto form = std::make_unique<T>(this);
        *reference = form.get();
        AddForm(std::move(form));
    }

    /// Shows the main window and runs the event loop until it closes.
    void Run();

    /// Shows the error's message in a modal message box, as plain text cut to
    /// kMaxShownCharacters; returns when it is dismissed.
    void ShowException(const Exception& error);
    static constexpr int kMaxShownCharacters = 400;

    /// Runs `action`, handing whatever it throws to ShowException, as the event loop does.
    template <class F>
    void Guard(F&& action) noexcept {
        try {
            action();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
    /// Shows `error` from the event loop once the current event has been handled.
    void PostException(std::exception_ptr error);
    void HandleException(std::exception_ptr error) noexcept;

    /// Bits per pixel of the screen (times planes), read once by Initialize.
    int ScreenDepth() const { return screenDepth_; }
    TForm* MainForm() const { return mainForm_; }

    /// Where error messages go instead of a message box; for tests that watch the reporter.
    std::function<void(const std::string& message)> MessageSink;

private:
    void AddForm(std::unique_ptr<TForm> form);

    int& argc_;
    char** argv_;
    std::unique_ptr<QApplication> qt_;
    TForm* mainForm_ = nullptr;
    int screenDepth_ = 24;
    TApplication* previous_;
};

extern TApplication* Application;
