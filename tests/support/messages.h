// What the error reporter has shown, for tests to check.
#pragma once

#include <string>
#include <vector>

class TApplication;

/// Routes `application`'s error messages into the record below instead of message boxes.
void RecordMessages(TApplication& application);
/// The messages shown since the last call, oldest first; the record is emptied.
std::vector<std::string> TakeMessages();
/// Runs the event loop's pending events (posted errors, repaints) and waits `ms` milliseconds.
void ProcessEvents(int ms = 0);
