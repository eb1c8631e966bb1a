#include "i18n/language_table.h"

#include <algorithm>
#include <new>

#include "i18n/xml_file.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {
namespace {

// Decodes one UTF-8 sequence at text[i] into cp; returns its length, or 0
// when it is not a well-formed sequence (overlong, surrogate, cut short).
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
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

// UTF-8 -> UTF-16 as Utf8ToWide does it (each byte of a broken sequence
// becomes U+FFFD), writing into out when given. Counting stops once limit
// units are reached, so a huge text is not walked to its end just to be
// found too long.
size_t Utf8ToUtf16(std::string_view text, char16_t* out, size_t limit) {
    size_t n = 0;
    for (size_t i = 0; i < text.size() && n < limit;) {
        char32_t cp;
        size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            cp = 0xFFFD;
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

// The entry's text: its first child, that node's first child, and so on,
// until a text node (CDATA included). Anything else first (a comment) ends
// the descent without text.
const TiXmlText* FindEntryText(const TiXmlElement& entry) {
    for (const TiXmlNode* node = entry.FirstChild(); node; node = node->FirstChild()) {
        if (const TiXmlText* text = node->ToText()) return text;
    }
    return nullptr;
}

// The folder the index lies in, where the language text files are found.
std::u16string FolderOf(const std::u16string& path) {
    size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

}  // namespace

CLanguageTable& CLanguageTable::Instance() {
    static CLanguageTable* table = [] {
        const std::u16string dir = GetProgramDirectory();
        return new CLanguageTable(dir + u"/language.xml", dir + u"/registry.xml");
    }();
    return *table;
}

CLanguageTable::CLanguageTable(std::u16string indexPath, std::u16string registryPath)
    : registryFilePath_(std::move(registryPath)), textDirectory_(FolderOf(indexPath)) {
    workBuffer_.reset(new (std::nothrow) char16_t[kWorkBufferUnits]);
    loaded_ = 0;
    languageCode_ = u"en-us";
    SelectLanguage();

    TiXmlDocument index;
    if (!LoadXmlFile(indexPath, &index)) return;
    loaded_ = 1;
    const TiXmlElement* lang = index.FirstChildElement("Lang");
    if (!lang) return;
    for (const TiXmlElement* res = lang->FirstChildElement("Resources"); res;
         res = res->NextSiblingElement("Resources")) {
        const char* lan = res->Attribute("lan");
        if (AnsiToWide(lan ? lan : "") != languageCode_) continue;
        const char* filename = res->Attribute("filename");
        // Index files written on Windows separate folders with "\".
        std::u16string relative = AnsiToWide(filename ? filename : "");
        std::replace(relative.begin(), relative.end(), u'\\', u'/');
        languageFilePath_ = textDirectory_ + u"/" + relative;
        break;
    }
    if (!languageFilePath_.empty()) LoadTexts();
}

void CLanguageTable::LoadTexts() {
    TiXmlDocument doc;
    if (!LoadXmlFile(languageFilePath_, &doc)) return;
    loaded_ = 1;
    const TiXmlElement* lang = doc.FirstChildElement("Lang");
    if (!lang) return;
    const TiXmlElement* resources = lang->FirstChildElement("Resources");
    if (!resources) return;

    for (const TiXmlNode* node = resources->FirstChild(); node; node = node->NextSibling()) {
        const TiXmlElement* entry = node->ToElement();
        if (!entry) continue;
        std::u16string key = AnsiToWide(entry->Value());
        const TiXmlText* textNode = FindEntryText(*entry);
        if (!textNode) continue;

        // A text must leave room for the terminator in the work buffer;
        // a longer one is stored empty rather than cut.
        std::string_view utf8 = textNode->ValueStr();
        size_t n = Utf8ToUtf16(utf8, nullptr, kWorkBufferUnits);
        std::u16string text;
        if (n >= 1 && n < kWorkBufferUnits && workBuffer_) {
            std::fill_n(workBuffer_.get(), kWorkBufferUnits, u'\0');
            Utf8ToUtf16(utf8, workBuffer_.get(), n);
            text.assign(workBuffer_.get(), n);
        }
        texts_.insert_or_assign(std::move(key), std::move(text));
    }
}

std::u16string CLanguageTable::GetText(const char* key) const {
    std::u16string wideKey = AnsiToWide(key ? key : "");
    if (!loaded_) return {};
    auto it = texts_.find(wideKey);
    return it == texts_.end() ? std::u16string() : it->second;
}

std::string GetAnsiText(const char* key) { return WideToAnsi(CLanguageTable::Instance().GetText(key)); }

}  // namespace tesvano
