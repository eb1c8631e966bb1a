// The six functions of the speech engine, reached through a table so the
// engine library can be swapped (and scripted in tests).
#pragma once

#include <string>

namespace tesvano {

struct SpeechEngine {
    int (*MSPLogin)(const char* usr, const char* pwd, const char* params);
    const char* (*QTTSSessionBegin)(const char* params, int* errorCode);
    int (*QTTSTextPut)(const char* sessionID, const char* textString, unsigned int textLen, const char* params);
    const void* (*QTTSAudioGet)(const char* sessionID, unsigned int* audioLen, int* synthStatus, int* errorCode);
    int (*QTTSSessionEnd)(const char* sessionID, const char* hints);
    int (*MSPLogout)();
    // Optional: which voices a speech server speaks; null when the library has none.
    int (*TesvanoVoiceSource)(const char* voiceName, char* buf, int size) = nullptr;
    // Optional: the reasons behind the last failures; null when the library has none.
    int (*TesvanoLastError)(char* buf, int size) = nullptr;
};

inline constexpr int kSynthStatusDataEnd = 2;
inline constexpr char kLoginParams[] = "appid = 7c1e0a93, work_dir = .";

// The engine the operations use: libmsc.so beside the program (or on the
// library path), loaded on first use. When it cannot be loaded every call
// fails, and the reason is printed to standard error once.
const SpeechEngine& CurrentSpeechEngine();
// Tests bind their own table; nullptr goes back to the library.
void SetSpeechEngineForTesting(const SpeechEngine* engine);

// The speech server's name for a voice the engine sends to one; "" when the
// voice is built in or the engine cannot tell.
std::string ServerVoiceOf(const char* voiceName);

// What the engine said since it was last asked (why a server voice failed,
// why its voice map is ignored); "" when nothing or the engine cannot tell.
std::string TakeEngineReasons();

}  // namespace tesvano
