// The numbered log lines of the main window: "%04d: " prefix, newest 100 kept.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace tesvano {

class LogArea {
public:
    static constexpr size_t kMaxLines = 100;

    // Adds one line and returns it as held (number, ": ", narrow text).
    const std::string& Append(const std::u16string& text);

    // Every held line, oldest first, each followed by "\r\n".
    std::u16string Text() const;

    const std::deque<std::string>& Lines() const { return lines_; }
    int32_t Counter() const { return counter_; }

private:
    std::deque<std::string> lines_;
    int32_t counter_ = 0;
};

}  // namespace tesvano
