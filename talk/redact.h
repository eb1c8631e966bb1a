// Text from a camera or a library made fit to print: credentials in URLs
// hidden and control characters dropped.
#pragma once

#include <string>
#include <string_view>

namespace tesvano {

// Everything between "://" and the last "@" of the authority becomes "***".
inline std::string MaskUrlCredentials(std::string_view text) {
    std::string out(text);
    for (size_t pos = out.find("://"); pos != std::string::npos; pos = out.find("://", pos + 3)) {
        const size_t start = pos + 3;
        size_t end = start;
        while (end < out.size() && out[end] != '/' && out[end] != ' ' && out[end] != '"' && out[end] != '\'' &&
               out[end] != '\n' && out[end] != '\t' && out[end] != '<' && out[end] != '>')
            ++end;
        const size_t at = out.rfind('@', end == start ? start : end - 1);
        if (at == std::string::npos || at < start || at >= end) continue;
        out.replace(start, at - start, "***");
    }
    return out;
}

// Controls (C0, DEL) become blanks; a camera's text never moves the cursor.
inline std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7F) ? ' ' : c;
    }
    return out;
}

}  // namespace tesvano
