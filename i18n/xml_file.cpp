#include "i18n/xml_file.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/file.h"
#include "platform/text.h"

namespace tesvano {
namespace {

// Every element TinyXML builds starts at a "<" that is not followed by
// "/", "!" or "?", so this count bounds the nesting depth however the markup
// is arranged (comments, quotes and multi-byte characters cannot hide one).
size_t CountElementTags(const std::string& data) {
    size_t count = 0;
    const char* p = data.data();
    const char* end = p + data.size();
    while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p))))) {
        ++p;
        if (p == end || (*p != '/' && *p != '!' && *p != '?')) ++count;
    }
    return count;
}

// TinyXML's own file loading turns CR LF and lone CR into LF before parsing.
void NormalizeLineEnds(std::string* data) {
    if (data->find('\r') == std::string::npos) return;
    size_t out = 0;
    for (size_t i = 0; i < data->size(); ++i) {
        char c = (*data)[i];
        if (c == '\r') {
            c = '\n';
            if (i + 1 < data->size() && (*data)[i + 1] == '\n') ++i;
        }
        (*data)[out++] = c;
    }
    data->resize(out);
}

}  // namespace

bool LoadXmlFile(const std::string& path, TiXmlDocument* doc) {
    if (path.empty()) return false;
    std::string data;
    if (!ReadSmallFile(path, kMaxXmlFileBytes, &data) || data.empty()) return false;
    if (CountElementTags(data) > kMaxXmlElements) return false;
    NormalizeLineEnds(&data);
    return ParseXmlText(std::move(data), TIXML_ENCODING_UNKNOWN, doc);
}

bool ParseXmlText(std::string text, TiXmlEncoding encoding, TiXmlDocument* doc) {
    // Zeros up to the longest step stop a character cut at the end there.
    text.append(4, '\0');
    doc->Parse(text.c_str(), nullptr, encoding);
    return !doc->Error();
}

}  // namespace tesvano
