// Hiding secrets in text that is shown: a source, a server address, a log
// line. Header-only, so the program and both sdk libraries mask alike.
#pragma once

#include <string>
#include <string_view>

namespace tesvano {

namespace mask_detail {

inline bool EndsQueryPart(char c) {
    return c == '&' || c == '#' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'' ||
           c == '<' || c == '>';
}

inline bool IsSecretName(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const char* secret : {"pass", "pwd", "key", "token", "secret", "auth", "sig"})
        if (lower.find(secret) != std::string::npos) return true;
    return false;
}

}  // namespace mask_detail

// Everything between a "://" and the last "@" after it becomes "***": the
// user and the password, whatever the password holds. A typed password may
// hold a raw "/", "#", "?", "@" or blank, so the end of the authority cannot
// be told by those; masking too much is the safe side. Query values whose
// names suggest a secret (password=, pwd=, api_key=, token=, ...) become
// "***" too. Works on a URL alone or on a whole message line.
inline std::string MaskSecrets(std::string_view text) {
    std::string out(text);
    for (size_t scheme = out.find("://"); scheme != std::string::npos;) {
        const size_t start = scheme + 3;
        const size_t at = out.rfind('@');
        if (at == std::string::npos || at < start) break;  // no "@" after it, nor after any later one
        out.replace(start, at - start, "***");
        scheme = out.find("://", start + 4);
    }
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] != '?' && out[i] != '&' && out[i] != ';') continue;
        size_t eq = i + 1;
        while (eq < out.size() && out[eq] != '=' && out[eq] != '?' && out[eq] != ';' &&
               !mask_detail::EndsQueryPart(out[eq]))
            ++eq;
        if (eq >= out.size() || out[eq] != '=' ||
            !mask_detail::IsSecretName(std::string_view(out).substr(i + 1, eq - i - 1)))
            continue;
        size_t end = eq + 1;
        while (end < out.size() && !mask_detail::EndsQueryPart(out[end])) ++end;
        if (end == eq + 1) continue;  // an empty value hides nothing
        out.replace(eq + 1, end - eq - 1, "***");
        i = eq + 3;
    }
    return out;
}

}  // namespace tesvano
