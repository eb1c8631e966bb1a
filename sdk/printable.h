// Text that came from outside (a server's header or body, a stream's reason
// line, a library's error text), made safe to print on a terminal: an escape
// sequence in it could otherwise recolour, retitle or rewrite the screen the
// operator reads. Header-only, so both engine libraries use it without
// linking anything of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sdk {

// C0 controls but tab, DEL, and the C1 controls some terminals obey as well.
inline bool IsControlCharacter(char32_t c) { return (c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F); }

// Control characters become spaces; bytes that are not well-formed UTF-8
// become '?' (a lone 0x9B is a CSI to an 8-bit terminal).
inline std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<uint8_t>(text[i]);
        size_t length = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (b < 0x80) {
            length = 1;
            c = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
            least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
            least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
            least = 0x10000;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        valid = valid && c >= least && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        if (!valid) {
            out.push_back('?');
            ++i;
            continue;
        }
        if (IsControlCharacter(c))
            out.push_back(' ');
        else
            out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace sdk
