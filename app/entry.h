// The main function's body: start the application object, create the main window, run the event
// loop, and hand every error that escapes to the error reporter. The result is always 0.
#pragma once

#include "platform/application.h"

#include <functional>

template <class TMainForm>
int RunApplication(int argc, char** argv, TMainForm** mainForm,
                   const std::function<void(TApplication&)>& prepare = {}) {
    TApplication application(argc, argv);
    if (prepare) prepare(application);
    try {
        try {
            Application->Initialize();
            Application->CreateForm(mainForm);
            Application->Run();
        } catch (const Exception& error) {
            Application->ShowException(error);
        } catch (...) {
            // Whatever is not one of our errors is reported with an empty message.
            try {
                throw Exception("");
            } catch (const Exception& error) {
                Application->ShowException(error);
            }
        }
    } catch (...) {
        // Even the error reporter failed; the exit code stays 0.
    }
    *mainForm = nullptr;  // the application object takes the window with it
    return 0;
}

/// The camview program.
int CamviewMain(int argc, char** argv);
