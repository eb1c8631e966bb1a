#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>
#include <sys/stat.h>

#include "platform/config_file.h"
#include "platform/text.h"

namespace tesvano {
namespace {

// A key's values by case-folded name: each with its name as written.
using Values = std::map<std::u16string, std::pair<std::u16string, std::vector<uint8_t>>>;
// The keys the file names, by case-folded path. The keys above a named key
// exist without an entry of their own, so memory stays linear in the file
// however deep its keys are.
struct Hive {
    std::map<std::u16string, Values> keys;
    bool anyKey = false;  // HKEY_LOCAL_MACHINE itself exists once any key is named
};

char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
    if (c < 0x80 || (c >= 0xD800 && c <= 0xDFFF)) return c;
    return static_cast<char16_t>(std::towupper(static_cast<wint_t>(c)));
}

std::u16string FoldString(std::u16string_view s) {
    std::u16string out(s.size(), u'\0');
    for (size_t i = 0; i < s.size(); ++i) out[i] = Fold(s[i]);
    return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

std::u16string_view StripTrailingSeparators(std::u16string_view path) {
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    return path;
}

// A registry export of ours is a few hundred bytes; anything huge is not one.
constexpr uint64_t kMaxFileBytes = 1 << 20;
// Windows' own limits: 512 levels of keys, 255 characters a key name.
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyNameUnits = 255;

// The file's text as UTF-16: UTF-8 (with or without a byte-order mark), or
// UTF-16LE with its mark, which is what regedit itself exports.
std::u16string DecodeFile(const std::string& data) {
    if (data.size() >= 2 && static_cast<uint8_t>(data[0]) == 0xFF && static_cast<uint8_t>(data[1]) == 0xFE) {
        std::u16string out((data.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<char16_t>(static_cast<uint8_t>(data[2 + 2 * i]) |
                                           (static_cast<uint8_t>(data[3 + 2 * i]) << 8));
        return out;
    }
    std::string_view text(data);
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return Utf8ToWide(text);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A quoted string at s[0] with the escapes \" and \\; on success *pos is
// just past the closing quote.
bool ParseQuoted(std::u16string_view s, size_t* pos, std::u16string* out) {
    if (s.empty() || s[0] != u'"') return false;
    out->clear();
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == u'\\') {
            if (i + 1 >= s.size()) return false;
            out->push_back(s[++i]);
        } else if (s[i] == u'"') {
            *pos = i + 1;
            return true;
        } else {
            out->push_back(s[i]);
        }
    }
    return false;
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// "hex:12,34,..." byte lists (continuations already joined).
bool ParseHexBytes(std::u16string_view s, std::vector<uint8_t>* out) {
    out->clear();
    s = Trim(s);
    if (s.empty()) return true;
    for (;;) {
        s = Trim(s);
        if (s.size() < 2) return false;
        int hi = HexDigit(s[0]), lo = HexDigit(s[1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<uint8_t>(hi * 16 + lo));
        s = Trim(s.substr(2));
        if (s.empty()) return true;
        if (s[0] != u',') return false;
        s.remove_prefix(1);
    }
}

bool ParseData(std::u16string_view s, std::vector<uint8_t>* out) {
    s = Trim(s);
    out->clear();
    if (!s.empty() && s[0] == u'"') {
        size_t end;
        std::u16string text;
        if (!ParseQuoted(s, &end, &text) || !Trim(s.substr(end)).empty()) return false;
        out->reserve((text.size() + 1) * 2);
        for (char16_t c : text) {
            out->push_back(static_cast<uint8_t>(c & 0xFF));
            out->push_back(static_cast<uint8_t>(c >> 8));
        }
        out->push_back(0);
        out->push_back(0);
        return true;
    }
    if (s.starts_with(u"dword:")) {
        s.remove_prefix(6);
        if (s.size() != 8) return false;
        uint32_t v = 0;
        for (char16_t c : s) {
            int d = HexDigit(c);
            if (d < 0) return false;
            v = v * 16 + static_cast<uint32_t>(d);
        }
        for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
        return true;
    }
    if (s.starts_with(u"hex")) {
        size_t colon = s.find(u':');
        if (colon == std::u16string_view::npos) return false;
        std::u16string_view type = s.substr(3, colon - 3);  // "" or "(N)"
        if (!type.empty()) {
            if (type.size() < 3 || type.front() != u'(' || type.back() != u')') return false;
            for (char16_t c : type.substr(1, type.size() - 2))
                if (HexDigit(c) < 0) return false;
        }
        return ParseHexBytes(s.substr(colon + 1), out);
    }
    return false;
}

void SetValue(Values& values, std::u16string name, std::vector<uint8_t> data) {
    auto [it, added] = values.try_emplace(FoldString(name));
    if (added) it->second.first = std::move(name);
    it->second.second = std::move(data);
}

void RemoveValue(Values& values, std::u16string_view name) { values.erase(FoldString(name)); }

// Whether each key name of the path is within Windows' limits.
bool IsKeyPathWithinLimits(std::u16string_view path) {
    size_t depth = 0;
    for (size_t start = 0;; ++depth) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        if (end - start > kMaxKeyNameUnits || depth + 1 > kMaxKeyDepth) return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
}

bool KeyExists(const Hive& hive, const std::u16string& folded) {
    if (folded.empty()) return hive.anyKey;
    if (hive.keys.count(folded)) return true;
    const std::u16string below = folded + u'\\';
    auto it = hive.keys.lower_bound(below);
    return it != hive.keys.end() && it->first.starts_with(below);
}

Values& AddKey(Hive& hive, std::u16string_view path) {
    hive.anyKey = true;
    return hive.keys[FoldString(path)];
}

// Everything under a key, the key included, goes; the key above it stays.
void RemoveKey(Hive& hive, std::u16string_view path) {
    const std::u16string folded = FoldString(path);
    bool existed = hive.keys.erase(folded) > 0;
    const std::u16string prefix = folded + u'\\';
    for (auto it = hive.keys.lower_bound(prefix); it != hive.keys.end() && it->first.starts_with(prefix);) {
        it = hive.keys.erase(it);
        existed = true;
    }
    const size_t up = folded.rfind(u'\\');
    if (existed && up != std::u16string::npos) hive.keys.try_emplace(folded.substr(0, up));
}

// An unreadable line is skipped, not allowed to void the rest of the file.
void SkipLine(const std::string& fileName, size_t lineIndex, std::u16string_view line) {
    constexpr size_t kShown = 200;
    std::fprintf(stderr, "%s:%zu: unreadable line skipped: %s%s\n", fileName.c_str(), lineIndex + 1,
                 WideToUtf8(line.substr(0, kShown)).c_str(), line.size() > kShown ? "..." : "");
}

// Parses the file; false only when it is not a registry export at all.
bool ParseRegistry(const std::string& fileName, std::u16string_view text, Hive* hive) {
    std::vector<std::u16string_view> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++end;
        start = end + 1;
    }

    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty()) ++i;
    if (i == lines.size()) return false;
    std::u16string_view header = Trim(lines[i++]);
    if (header != u"Windows Registry Editor Version 5.00" && header != u"REGEDIT4") return false;

    constexpr std::u16string_view kHive = u"HKEY_LOCAL_MACHINE";
    Values* current = nullptr;
    bool inSection = false;
    for (; i < lines.size(); ++i) {
        const size_t first = i;
        std::u16string_view line = Trim(lines[i]);
        if (line.empty() || line[0] == u';') continue;
        if (line[0] == u'[') {
            // Values after an unreadable section line belong to no key we know.
            current = nullptr;
            inSection = true;
            if (line.back() != u']') {
                SkipLine(fileName, first, line);
                continue;
            }
            std::u16string_view path = line.substr(1, line.size() - 2);
            const bool remove = !path.empty() && path[0] == u'-';
            if (remove) path.remove_prefix(1);
            std::u16string_view root = path.substr(0, path.find(u'\\'));
            if (!EqualNoCase(root, kHive)) continue;  // another hive: not ours to read
            path.remove_prefix(root.size());
            if (!path.empty()) path.remove_prefix(1);
            path = StripTrailingSeparators(path);
            if (!IsKeyPathWithinLimits(path)) {
                SkipLine(fileName, first, line);
                continue;
            }
            if (remove) {
                if (!path.empty()) RemoveKey(*hive, path);  // the hive itself cannot go
                continue;  // a deleted key's values are ignored
            }
            current = &AddKey(*hive, path);
            continue;
        }

        if (!inSection) {  // a value outside any key
            SkipLine(fileName, first, line);
            continue;
        }
        std::u16string name;
        size_t pos;
        if (line[0] == u'@') {
            pos = 1;
        } else if (!ParseQuoted(line, &pos, &name)) {
            SkipLine(fileName, first, line);
            continue;
        }
        std::u16string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest[0] != u'=') {
            SkipLine(fileName, first, line);
            continue;
        }
        rest = Trim(rest.substr(1));

        // Hex data may continue on the next lines after a trailing "\".
        std::u16string joined;
        if (rest.starts_with(u"hex") && !rest.empty() && rest.back() == u'\\') {
            joined.assign(rest.substr(0, rest.size() - 1));
            while (i + 1 < lines.size()) {
                std::u16string_view next = Trim(lines[++i]);
                bool more = !next.empty() && next.back() == u'\\';
                joined.append(more ? next.substr(0, next.size() - 1) : next);
                if (!more) break;
            }
            rest = joined;
        }

        if (rest == u"-") {
            if (current) RemoveValue(*current, name);
            continue;
        }
        std::vector<uint8_t> data;
        if (!ParseData(rest, &data)) {
            SkipLine(fileName, first, line);
            continue;
        }
        if (current) SetValue(*current, std::move(name), std::move(data));
    }
    return true;
}

}  // namespace

std::string RegistryFilePath() {
    const char* env = std::getenv("TESVANO_REGISTRY");
    if (env && *env) return env;
    return "/etc/tesvano/registry.reg";
}

bool CRegistryKey::Open(std::u16string_view path) {
    values_.clear();
    const std::string fileName = RegistryFilePath();
    std::string data, error;
    switch (ReadConfigFile(fileName, kMaxFileBytes, &data, &error)) {
        case ConfigRead::kOk: break;
        case ConfigRead::kMissing: return false;
        case ConfigRead::kFailed:
            std::fprintf(stderr, "%s: ignored: %s\n", fileName.c_str(), error.c_str());
            return false;
    }
    Hive hive;
    if (!ParseRegistry(fileName, DecodeFile(data), &hive)) return false;
    const std::u16string folded = FoldString(StripTrailingSeparators(path));
    if (!KeyExists(hive, folded)) return false;
    auto it = hive.keys.find(folded);
    if (it != hive.keys.end())
        for (auto& entry : it->second) values_.push_back(std::move(entry.second));
    return true;
}

bool CRegistryKey::QueryValue(std::u16string_view name, void* buffer, uint32_t* bytes) const {
    for (const auto& [valueName, data] : values_) {
        if (!EqualNoCase(valueName, name)) continue;
        const uint32_t room = *bytes;
        *bytes = static_cast<uint32_t>(data.size());
        if (!buffer) return true;  // a size query
        if (data.size() > room) return false;
        if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
        return true;
    }
    return false;
}

}  // namespace tesvano
