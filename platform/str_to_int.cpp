#include "platform/exception.h"

#include <charconv>
#include <climits>

int StrToInt(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars takes a leading '-' but not '+'; accept both signs explicitly.
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    long long magnitude = 0;
    bool ok = first != last && *first >= '0' && *first <= '9';
    if (ok) {
        auto [end, error] = std::from_chars(first, last, magnitude);
        ok = error == std::errc() && end == last;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (!ok || value < INT_MIN || value > INT_MAX)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return static_cast<int>(value);
}
