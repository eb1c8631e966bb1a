// Keeps the shipped language files whole: every key the code asks for has a
// text in every language, and no file carries keys nobody asks for.
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <tinyxml.h>

#include "platform/system.h"
#include "tests/i18n/i18n_fixture.h"

namespace tesvano::test {
namespace {

// Every key the program's window, operations and messages are made of.
const std::set<std::string> kListedKeys = {
    "TITLE", "AUTHOR", "DEFAULT_TEXT1", "DEFAULT_TEXT2", "TEXT_NONE", "BACK_MUSIC", "HEAD_OF_VOICE",
    "BEHIND_OF_VOICE", "HEAD_AND_BEHIND_OF_VOICE", "TIPS_TEXT_VOICE_CREATE", "TIPS_RECORD", "TIPS_NETWORK",
    "START_NETWORK_CHECK", "SUCCESS", "FAILED", "ADD_BACK_MUSIC", "MODE_BACK_MUSIC", "RECORD", "TEXT_TO_SPEECH",
    "TEXT_TO_SPEECH_PCM", "TEXT_TO_SPEECH_PCMWAV", "TRANSFER_TO_MP3", "BATCH_TRANSFER_TO_MP3",
    "BACK_MUSIC_VOLUMN", "SELECT_SAVE_PATH", "OPEN_SAVE_PATH", "PLEASE_INPUT_TEXT", "FILE_SAVE_OK", "FILE_SIZE",
    "EXCEED_FILE_SIZE", "ATTENTION", "FILE_SAVE_FAILED", "CREATE_MP3_FAILED", "SAVE_PATH", "NETWORK_CHECK_OK",
    "NETWORK_CHECK_FAILED", "NETWORK_ERROR", "MP3_DECODE_FAILED", "MP3_DECODE_OK", "VOICE_INIT_FAILED",
    "VOICE_PUTDATA_FAILED", "VOICE_CREATE_FAILED", "VOICE_CLOSE_FAILED", "MALLOC_FAILED", "VOICE_WORKING",
    "TEXT_CREATE_VOICE_OK", "ERR_NOT_FIND_DEVICE", "ERR_OPEN_AUDIOCAPTURE_FAIL", "ERR_START_AUDIOCAPTURE_FAIL",
    "ERR_AUDIO_PARAM_ERROR", "ERR_OUTOFF_MEMORY", "ERR_START_THREADERROR", "ERR_IS_STARTAUDIO_ERROR",
    "RECORD_FAILED", "RECORD_START_OK", "STOP", "RECORD_STOPED", "RECORD_TIME_LENGTH", "TIME_SECONDS",
    "RECORD_PCM_DATALENGTH",
};

const std::pair<const char*, const char*> kLanguages[] = {
    {"en-us", "English"}, {"zh-cn", "Simplified Chinese"}, {"zh-tw", "Traditional Chinese"},
    {"ko-ko", "Korean"},  {"pl-pl", "Polish"},
};

std::set<std::string> KeysUsedInCode() {
    namespace fs = std::filesystem;
    const std::regex call(R"re(Get(Ansi)?Text\("([A-Z0-9_]+)"\))re");
    std::set<std::string> keys;
    for (const char* folder : {"app", "operations", "audio", "speech", "capture", "i18n"}) {
        fs::path root = fs::path(TESVANO_SOURCE_DIR) / folder;
        if (!fs::exists(root)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            const std::string source = text.str();
            for (std::sregex_iterator it(source.begin(), source.end(), call), end; it != end; ++it)
                keys.insert((*it)[2].str());
        }
    }
    return keys;
}

// The element names a shipped text file defines, read as the table reads them.
std::set<std::string> KeysDefinedIn(const std::string& path) {
    std::set<std::string> keys;
    TiXmlDocument doc;
    EXPECT_TRUE(doc.LoadFile(path.c_str())) << path << ": " << doc.ErrorDesc();
    const TiXmlElement* lang = doc.FirstChildElement("Lang");
    const TiXmlElement* res = lang ? lang->FirstChildElement("Resources") : nullptr;
    EXPECT_TRUE(res) << path;
    for (const TiXmlElement* e = res ? res->FirstChildElement() : nullptr; e; e = e->NextSiblingElement())
        EXPECT_TRUE(keys.insert(e->Value()).second) << path << " defines " << e->Value() << " twice";
    return keys;
}

using KeyCoverageTest = I18nTest;

TEST_F(KeyCoverageTest, CodeAsksOnlyForKnownKeysAndTheScanFindsThem) {
    std::set<std::string> used = KeysUsedInCode();
    // The window alone asks for a couple dozen; finding none means the scan is broken.
    EXPECT_GE(used.size(), 20u);
    // Keys this edition adds for what the original showed through its framework.
    const std::set<std::string> added = {
        "BATCH_REST_SKIPPED",  "FIT_CAMERA_SIZE",       "SERVER_VOICE",      "CAMERA_SETTINGS",    "CAMERA_ADDRESS",
        "CAMERA_USER",         "CAMERA_PASSWORD",       "CAMERA_TEST",       "CAMERA_TESTING",     "CAMERA_SAVED",
        "CAMERA_SAVE_FAILED",  "CAMERA_PLAY_START",     "CAMERA_PLAY_DONE",  "CAMERA_PLAY_FAILED", "CAMERA_NO_SOURCE",
        "CAMERA_UNREACHABLE",  "CAMERA_UNAUTHORISED",   "CAMERA_NO_BACKCHANNEL", "CAMERA_NO_CODEC", "CAMERA_BROKEN",
        "CAMERA_TALK_MISSING", "CAMERA_PLAY_STOPPED",   "PLAY_ON_CAMERA",    "CAMERA_TEST_SPEAKER",
        "CAMERA_NEARBY",       "CAMERA_FIND",           "CAMERA_FINDING",    "CAMERA_FOUND",       "CAMERA_ASK_ADDRESS",
        "CAMERA_ASKING",       "CAMERA_HAS_SPEAKER",    "CAMERA_NO_SPEAKER", "CAMERA_SPEAKER_UNKNOWN"};
    for (const std::string& key : used)
        EXPECT_TRUE(kListedKeys.count(key) || added.count(key)) << key << " is asked for but is not one of the UI text keys";
    EXPECT_EQ(kListedKeys.size(), 60u);
}

TEST_F(KeyCoverageTest, EveryShippedLanguageDefinesEveryKey) {
    const std::string bin = GetProgramDirectory();
    std::set<std::string> needed = KeysUsedInCode();
    needed.insert(kListedKeys.begin(), kListedKeys.end());

    TiXmlDocument index;
    ASSERT_TRUE(index.LoadFile((bin + "/language.xml").c_str()));
    for (const auto& [code, name] : kLanguages) {
        SCOPED_TRACE(code);
        std::string file;
        for (const TiXmlElement* r = index.FirstChildElement("Lang")->FirstChildElement("Resources"); r;
             r = r->NextSiblingElement("Resources")) {
            if (r->Attribute("lan") && std::string(r->Attribute("lan")) == code) {
                file = r->Attribute("filename");
                break;
            }
        }
        ASSERT_FALSE(file.empty()) << "the index has no entry for " << code;

        for (const std::string& key : KeysDefinedIn(bin + "/" + file))
            EXPECT_TRUE(needed.count(key)) << file << " defines " << key << ", which nothing asks for";

        Write("registry.reg", RegWithLanguage(name));
        CLanguageTable table(bin + "/language.xml", bin + "/registry.xml");
        ASSERT_EQ(table.GetLanguageCode(), AnsiToWide(code));
        for (const std::string& key : needed) EXPECT_FALSE(table.GetText(key.c_str()).empty()) << file << " lacks " << key;
        // It follows "...:1234 Bytes." in the size line, so it needs its own blank.
        EXPECT_EQ(table.GetText("EXCEED_FILE_SIZE").substr(0, 1), u" ") << file;
    }
}

}  // namespace
}  // namespace tesvano::test
