// Text conversions between UTF-16 (what the window and the language files
// speak) and the narrow text of the locale (file names, log formats, the
// speech engine's input).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tesvano {

// UTF-16 -> the locale's narrow character set. Characters the set cannot
// represent become '?'. Never fails on valid input; a broken iconv set-up
// gives the empty string.
std::string WideToAnsi(std::u16string_view text);

// UTF-16 -> GB18030, the text the speech engine is told it gets (a superset
// of GB2312 that holds all of Unicode). Only lone surrogates become '?'; a
// broken iconv set-up gives the empty string.
std::string WideToGb18030(const std::u16string& text);

// The locale's narrow text -> UTF-16. Invalid sequences become U+FFFD.
std::u16string AnsiToWide(std::string_view text);

// UTF-8 bytes -> UTF-16; invalid sequences become U+FFFD.
std::u16string Utf8ToWide(std::string_view text);

// UTF-8 -> UTF-16 with Utf8ToWide's rules, into out when it is not null.
// Counting stops once `limit` units are reached (a surrogate pair may take
// it one past), so a huge text is not walked to its end to be found too long.
// Returns the number of units.
size_t Utf8ToUtf16(std::string_view text, char16_t* out, size_t limit);

// UTF-16 -> UTF-8; lone surrogates become U+FFFD.
std::string WideToUtf8(std::u16string_view text);

// Whether the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Length of the text without a UTF-8 sequence left incomplete at its end
// (used after cutting a formatted line, so a character is never split).
size_t Utf8CompleteLength(std::string_view text);

// The text a C function hands back as snprintf does: it writes at most
// `size` bytes, terminated, into `buf` and returns the full length (0 or
// less: nothing). Asked again with room enough when the first try is short.
std::string StringFromSizedCall(const std::function<int(char* buf, int size)>& call);

// Sets the process locale from the environment (LC_ALL/LANG), as the program
// does at start-up; the narrow conversions follow it.
void InitLocaleFromEnvironment();

}  // namespace tesvano
