#include "i18n/language_table.h"

#include <algorithm>
#include <new>

#include "i18n/xml_file.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {
namespace {

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
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

CLanguageTable& CLanguageTable::Instance() {
    static CLanguageTable* table = [] {
        const std::string dir = GetProgramDirectory();
        return new CLanguageTable(dir + "/language.xml", dir + "/registry.xml");
    }();
    return *table;
}

CLanguageTable::CLanguageTable(std::string indexPath, std::string registryPath)
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
        std::string relative = filename ? filename : "";
        std::replace(relative.begin(), relative.end(), '\\', '/');
        languageFilePath_ = textDirectory_ + "/" + relative;
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
