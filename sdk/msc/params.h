// Reading the "key = value, key = value" strings of login and session begin.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace msc {

// Without blanks (spaces, tabs, line ends) at either end.
std::string_view Trim(std::string_view s);
// ASCII letters lower-cased, other bytes as they are.
std::string Lower(std::string_view s);

// Whether any byte is a control character (below space, or DEL).
bool HasControlCharacters(std::string_view s);

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Splits at commas and at the first "=" of each pair; keys and values lose the
// blanks around them, keys are lower-cased. Empty pairs are skipped. False
// when a pair has no "=" or no key.
bool ParseKeyValues(std::string_view text, KeyValues* out);

// kAuto when the session declares none: the text's bytes decide.
enum class TextEncoding { kAuto, kUtf8, kGb18030 };

struct SessionParams {
    std::string voiceName;  // trimmed
    int sampleRate = 16000;
    int speed = 50;
    int volume = 50;
    int pitch = 50;
    TextEncoding encoding = TextEncoding::kAuto;
};

// Returns MSP_SUCCESS or the error code for the first problem found.
int ParseSessionParams(std::string_view text, SessionParams* out);

}  // namespace msc
