// From the bytes of QTTSTextPut to runs of text in one script each, so that
// Chinese is read by a Chinese voice and English words by an English one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sdk/msc/params.h"
#include "sdk/msc/voices.h"

namespace msc {

bool IsValidUtf8(std::string_view bytes);

// Reads the bytes in the declared encoding; with none declared, valid UTF-8
// is taken as it is and other bytes are read as GB18030. MSP_SUCCESS or
// MSP_ERROR_TEXT_ENCODING.
int DecodeText(std::string_view bytes, TextEncoding encoding, std::string* utf8);

struct TextRun {
    Script script;  // kNeutral only when the whole text has no letters
    std::string text;
};

// Splits UTF-8 text into alternating Han and Latin runs. Digits, blanks and
// punctuation stay with the run they follow (or the first run). Chinese
// punctuation becomes ASCII punctuation so espeak-ng pauses on it; control
// characters become blanks.
std::vector<TextRun> SplitScriptRuns(std::string_view utf8);

}  // namespace msc
