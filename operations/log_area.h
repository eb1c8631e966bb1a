// The numbered log lines of the main window: "%04d: " prefix, newest 100 kept.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tesvano {

class LogArea {
public:
    static constexpr size_t kMaxLines = 100;

    // Adds one line and returns it as held (number, ": ", narrow text).
    const std::string& Append(const std::u16string& text);

    // Every held line, oldest first, each followed by "\r\n".
    std::u16string Text() const;

    // What a screen shows: one row per line, a line's own trailing break not
    // repeated as an empty row, no break after the last.
    std::u16string DisplayText() const;
    // One held line without its trailing line breaks.
    static std::string_view DisplayLine(std::string_view line);

    const std::deque<std::string>& Lines() const { return lines_; }
    int32_t Counter() const { return counter_; }

private:
    std::deque<std::string> lines_;
    int32_t counter_ = 0;
};

}  // namespace tesvano
