// Errors: every failure in camview is an Exception carrying a message text.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

/// Raised by StrToInt for text that is not a decimal integer.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

/// Converts decimal text (optional sign, then digits, nothing else) to an int.
/// Raises EConvertError "'<text>' is not a valid integer value" otherwise,
/// including for values outside the int range.
int StrToInt(const std::string& text);
