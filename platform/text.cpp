#include "platform/text.h"

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace tesvano {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool LocaleIsUtf8() {
    const char* cs = nl_langinfo(CODESET);
    return cs && (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0);
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// UTF-16 -> UTF-8; a lone surrogate becomes `lone`.
std::string EncodeUtf8(std::u16string_view text, const char* lone) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += lone;
            continue;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// Decodes one UTF-8 sequence at text[i]; returns its length (0 when invalid).
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2; cp = b0 & 0x1F; min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3; cp = b0 & 0x0F; min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4; cp = b0 & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Generic iconv loop; on an unconvertible input character the replacement
// bytes are written and the character (inUnit bytes, or a surrogate pair)
// skipped.
bool IconvConvert(const char* to, const char* from, const char* in, size_t inLen,
                  std::string& out, const char* replacement, size_t inUnit) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    char buf[1024];
    char* src = const_cast<char*>(in);
    size_t left = inLen;
    bool ok = true;
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof buf;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno == EILSEQ || errno == EINVAL) {
            out.append(replacement);
            size_t skip = inUnit;
            if (inUnit == 2 && left >= 4) {  // a surrogate pair is one character, a lone one is not
                char16_t u[2];
                std::memcpy(u, src, 4);
                if (u[0] >= 0xD800 && u[0] <= 0xDBFF && u[1] >= 0xDC00 && u[1] <= 0xDFFF) skip = 4;
            }
            if (skip > left) skip = left;
            src += skip;
            left -= skip;
            continue;
        }
        ok = false;
        break;
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

void InitLocaleFromEnvironment() {
    std::setlocale(LC_ALL, "");
    // A machine without any locale set still speaks UTF-8 to us.
    if (!LocaleIsUtf8()) {
        const char* cs = nl_langinfo(CODESET);
        if (cs && (std::strcmp(cs, "ANSI_X3.4-1968") == 0)) {
            if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
        }
    }
}

std::string WideToUtf8(std::u16string_view text) { return EncodeUtf8(text, "\xEF\xBF\xBD"); }

size_t Utf8ToUtf16(std::string_view text, char16_t* out, size_t limit) {
    size_t n = 0;
    for (size_t i = 0; i < text.size() && n < limit;) {
        char32_t cp;
        size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            cp = kReplacement;
            len = 1;
        }
        i += len;
        if (cp < 0x10000) {
            if (out) out[n] = static_cast<char16_t>(cp);
            ++n;
        } else {
            if (out) {
                out[n] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out[n + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
            n += 2;
        }
    }
    return n;
}

std::u16string Utf8ToWide(std::string_view text) {
    std::u16string out(Utf8ToUtf16(text, nullptr, SIZE_MAX), u'\0');
    Utf8ToUtf16(text, out.data(), SIZE_MAX);
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

size_t Utf8CompleteLength(std::string_view text) {
    // Find the lead byte of the last sequence (at most 3 continuation bytes back).
    size_t n = text.size();
    size_t k = n;
    while (k > 0 && n - k < 4) {
        --k;
        const auto b = static_cast<unsigned char>(text[k]);
        if ((b & 0xC0) == 0x80) continue;
        size_t need = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        return n - k < need ? k : n;
    }
    return n;
}

std::string WideToAnsi(std::u16string_view text) {
    if (text.empty()) return {};
    // Lone surrogates cannot be represented: '?' as the code page would.
    if (LocaleIsUtf8()) return EncodeUtf8(text, "?");
    std::string out;
    if (!IconvConvert(nl_langinfo(CODESET), "UTF-16LE", reinterpret_cast<const char*>(text.data()),
                      text.size() * 2, out, "?", 2))
        return {};
    return out;
}

std::string WideToGb18030(const std::u16string& text) {
    std::string out;
    if (!IconvConvert("GB18030", "UTF-16LE", reinterpret_cast<const char*>(text.data()), text.size() * 2, out, "?", 2))
        return {};
    return out;
}

std::u16string AnsiToWide(std::string_view text) {
    if (text.empty()) return {};
    if (LocaleIsUtf8()) return Utf8ToWide(text);
    std::string raw;
    if (!IconvConvert("UTF-16LE", nl_langinfo(CODESET), text.data(), text.size(), raw, "\xFD\xFF", 1))
        return {};
    std::u16string out(raw.size() / 2, u'\0');
    std::memcpy(out.data(), raw.data(), out.size() * 2);
    return out;
}

std::string StringFromSizedCall(const std::function<int(char* buf, int size)>& call) {
    char small[512];
    const int n = call(small, sizeof small);
    if (n <= 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    const int m = call(big.data(), static_cast<int>(big.size()));
    if (m <= 0) return {};
    big.resize(std::min(static_cast<size_t>(m), big.size() - 1));
    return big;
}

}  // namespace tesvano
