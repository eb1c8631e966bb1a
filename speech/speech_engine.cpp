#include "speech/speech_engine.h"

#include <cstdio>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/library.h"
#include "platform/text.h"

namespace tesvano {
namespace {

constexpr int kEngineMissing = -1;

int MissingLogin(const char*, const char*, const char*) { return kEngineMissing; }
const char* MissingBegin(const char*, int* error) {
    if (error) *error = kEngineMissing;
    return nullptr;
}
int MissingPut(const char*, const char*, unsigned int, const char*) { return kEngineMissing; }
const void* MissingGet(const char*, unsigned int* len, int* status, int* error) {
    if (len) *len = 0;
    if (status) *status = kSynthStatusDataEnd;
    if (error) *error = kEngineMissing;
    return nullptr;
}
int MissingEnd(const char*, const char*) { return kEngineMissing; }
int MissingLogout() { return kEngineMissing; }

constexpr SpeechEngine kMissingEngine = {MissingLogin, MissingBegin, MissingPut, MissingGet, MissingEnd, MissingLogout};

SpeechEngine LoadLibraryEngine() {
    void* lib = OpenLibraryBesideProgram("libmsc.so");
    if (!lib) {
        std::fprintf(stderr, "speech engine not available: %s\n", dlerror());
        return kMissingEngine;
    }
    SpeechEngine e{};
    if (BindSymbol(lib, "MSPLogin", &e.MSPLogin) && BindSymbol(lib, "QTTSSessionBegin", &e.QTTSSessionBegin) &&
        BindSymbol(lib, "QTTSTextPut", &e.QTTSTextPut) && BindSymbol(lib, "QTTSAudioGet", &e.QTTSAudioGet) &&
        BindSymbol(lib, "QTTSSessionEnd", &e.QTTSSessionEnd) && BindSymbol(lib, "MSPLogout", &e.MSPLogout)) {
        if (!BindSymbol(lib, "TesvanoVoiceSource", &e.TesvanoVoiceSource)) e.TesvanoVoiceSource = nullptr;
        if (!BindSymbol(lib, "TesvanoLastError", &e.TesvanoLastError)) e.TesvanoLastError = nullptr;
        return e;
    }
    std::fprintf(stderr, "speech engine incomplete: %s\n", dlerror());
    dlclose(lib);
    return kMissingEngine;
}

const SpeechEngine* g_testEngine = nullptr;

}  // namespace

const SpeechEngine& CurrentSpeechEngine() {
    if (g_testEngine) return *g_testEngine;
    static const SpeechEngine engine = LoadLibraryEngine();
    return engine;
}

void SetSpeechEngineForTesting(const SpeechEngine* engine) { g_testEngine = engine; }

std::string ServerVoiceOf(const char* voiceName) {
    const SpeechEngine& engine = CurrentSpeechEngine();
    if (!engine.TesvanoVoiceSource) return {};
    // Table names may carry blanks around them; the map's names do not.
    std::string_view name(voiceName);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    const std::string trimmed(name);
    return StringFromSizedCall(
        [&](char* buf, int size) { return engine.TesvanoVoiceSource(trimmed.c_str(), buf, size); });
}

std::string TakeEngineReasons() {
    const SpeechEngine& engine = CurrentSpeechEngine();
    if (!engine.TesvanoLastError) return {};
    return StringFromSizedCall([&](char* buf, int size) { return engine.TesvanoLastError(buf, size); });
}

}  // namespace tesvano
