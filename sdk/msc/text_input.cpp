#include "sdk/msc/text_input.h"

#include <cerrno>
#include <iconv.h>

#include "sdk/msc/msc.h"

namespace msc {
namespace {

// Decodes one code point of valid UTF-8 at *i and advances past it.
char32_t NextCodePoint(std::string_view s, size_t* i) {
    auto b = [&](size_t k) { return char32_t(uint8_t(s[*i + k])); };
    char32_t c = b(0);
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (n == 2) c = ((c & 0x1F) << 6) | (b(1) & 0x3F);
    if (n == 3) c = ((c & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    if (n == 4) c = ((c & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    *i += n;
    return c;
}

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(char(c));
    } else if (c < 0x800) {
        out->push_back(char(0xC0 | (c >> 6)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(char(0xE0 | (c >> 12)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (c >> 18)));
        out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    }
}

// Chinese punctuation as the ASCII mark espeak-ng pauses on; null when the
// character is not one of them.
const char* AsciiPunctuation(char32_t c) {
    switch (c) {
        case 0x3002: case 0xFF0E: case 0xFF61: case 0x2026: return ". ";  // 。．｡…
        case 0xFF0C: case 0x3001: case 0xFF64: return ", ";                // ，、､
        case 0xFF01: return "! ";
        case 0xFF1F: return "? ";
        case 0xFF1B: return "; ";
        case 0xFF1A: return ": ";
        case 0x2014: case 0x2013: case 0xFF5E: return ", ";                // —–～
        case 0xFF08: case 0xFF09: case 0x3010: case 0x3011: return ", ";  // （）【】
        case 0x3000: case 0x300A: case 0x300B: case 0x300C: case 0x300D:  // 　《》「」
        case 0x300E: case 0x300F: case 0x201C: case 0x201D: case 0x2018: case 0x2019: return " ";
        default: return nullptr;
    }
}

Script Classify(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return Script::kLatin;
    if (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) return Script::kLatin;
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0x20000 && c <= 0x3134F) || c == 0x3007)
        return Script::kHan;
    return Script::kNeutral;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
    size_t i = 0, n = s.size();
    while (i < n) {
        uint8_t c = uint8_t(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint8_t lo = 0x80, hi = 0xBF;  // bounds of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;        // overlong
            if (c == 0xED) hi = 0x9F;        // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;        // overlong
            if (c == 0xF4) hi = 0x8F;        // above U+10FFFF
        } else {
            return false;
        }
        if (n - i < len) return false;
        uint8_t c1 = uint8_t(s[i + 1]);
        if (c1 < lo || c1 > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

int DecodeText(std::string_view bytes, TextEncoding encoding, std::string* utf8) {
    utf8->clear();
    if (encoding != TextEncoding::kGb18030 && IsValidUtf8(bytes)) {
        utf8->assign(bytes);
        return MSP_SUCCESS;
    }
    if (encoding == TextEncoding::kUtf8) return MSP_ERROR_TEXT_ENCODING;

    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == iconv_t(-1)) return MSP_ERROR_ENGINE;
    // One GB18030 byte never becomes more than two UTF-8 bytes.
    utf8->assign(bytes.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* out = utf8->data();
    size_t outLeft = utf8->size();
    size_t r = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1) || inLeft != 0) {
        utf8->clear();
        return MSP_ERROR_TEXT_ENCODING;
    }
    utf8->resize(utf8->size() - outLeft);
    // GB18030 maps every valid sequence into Unicode, but be sure.
    if (IsValidUtf8(*utf8)) return MSP_SUCCESS;
    utf8->clear();
    return MSP_ERROR_TEXT_ENCODING;
}

std::vector<TextRun> SplitScriptRuns(std::string_view utf8) {
    std::vector<TextRun> runs;
    std::string pending;  // neutral text before the first letter
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t c = NextCodePoint(utf8, &i);
        if (c < 0x20 || c == 0x7F) c = ' ';
        if (c >= 0xFF10 && c <= 0xFF5A && (c <= 0xFF19 || c >= 0xFF21) && !(c > 0xFF3A && c < 0xFF41))
            c -= 0xFEE0;  // full-width digits and letters
        std::string* target;
        const char* punct = AsciiPunctuation(c);
        Script script = punct ? Script::kNeutral : Classify(c);
        if (script == Script::kNeutral) {
            target = runs.empty() ? &pending : &runs.back().text;
        } else {
            if (runs.empty() || runs.back().script != script) {
                runs.push_back({script, std::string()});
                if (runs.size() == 1) runs.back().text.swap(pending);
            }
            target = &runs.back().text;
        }
        if (punct)
            target->append(punct);
        else
            AppendUtf8(c, target);
    }
    if (runs.empty() && !pending.empty()) runs.push_back({Script::kNeutral, std::move(pending)});
    return runs;
}

}  // namespace msc
