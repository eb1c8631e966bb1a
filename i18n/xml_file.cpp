#include "i18n/xml_file.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "platform/text.h"

namespace tesvano {
namespace {

bool ReadWholeFile(const std::string& path, std::string* data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    struct stat st;
    // Only a regular file: a folder or a FIFO named like a data file would
    // otherwise fail late or block the start-up.
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxXmlFileBytes) {
        std::fclose(f);
        return false;
    }
    data->resize(static_cast<size_t>(st.st_size));
    size_t got = std::fread(data->data(), 1, data->size(), f);
    // A file that grew since fstat is read only as far as it was; one that
    // shrank, or a read error, counts as unreadable.
    bool ok = got == data->size() && !std::ferror(f);
    std::fclose(f);
    return ok;
}

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

bool LoadXmlFile(const std::u16string& path, TiXmlDocument* doc) {
    std::string narrow = WideToAnsi(path);
    if (narrow.empty()) return false;
    std::string data;
    if (!ReadWholeFile(narrow, &data) || data.empty()) return false;
    if (CountElementTags(data) > kMaxXmlElements) return false;
    NormalizeLineEnds(&data);
    doc->Parse(data.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    return !doc->Error();
}

}  // namespace tesvano
