// The six functions of libmsc. Sessions live in a fixed table whose id texts
// are never freed, so a caller that passes an id after its session ended gets
// MSP_ERROR_SESSION_NOT_FOUND instead of reading freed memory.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "sdk/msc/msc.h"
#include "sdk/msc/params.h"
#include "sdk/msc/report.h"
#include "sdk/msc/server_client.h"
#include "sdk/msc/speaker.h"
#include "sdk/msc/text_input.h"
#include "sdk/msc/voice_map.h"
#include "sdk/msc/voices.h"

namespace msc {
namespace {

// Large pieces keep the caller's polls (100 ms apart) few: a camera prompt
// comes in one piece, two hours of speech in about sixty.
constexpr size_t kPieceBytes = MSP_MAX_PIECE_BYTES;
constexpr size_t kMaxSessions = 256;
constexpr size_t kIdSize = 32;

enum class State { kBegun, kSpeaking, kDelivered };

// How long a poll waits for a server's answer to end before it hands out what
// has come: a quick answer goes out in one piece, without the caller's pause
// between polls; a slow one in pieces about this far apart.
constexpr int kServerWaitMs = 100;

struct Session {
    const Voice* voice = nullptr;
    SessionParams params;
    State state = State::kBegun;
    std::vector<int16_t> pcm;  // the utterance, or the server's audio not yet handed out
    size_t delivered = 0;      // bytes of pcm
    std::string serverVoice;  // the server's name for a mapped voice; empty: built in
    ServerConfig serverConfig;
    std::unique_ptr<ServerClient> server;
};

std::mutex g_mutex;
bool g_loggedIn = false;
VoiceMap g_voiceMap;  // read at login
std::unique_ptr<Session> g_sessions[kMaxSessions];
char g_ids[kMaxSessions][kIdSize];
unsigned long g_serial = 0;
size_t g_nextSlot = 0;

// Slot of a live session with this id, or -1. Reads at most kIdSize bytes.
int FindSlot(const char* id) {
    if (!id) return -1;
    size_t length = strnlen(id, kIdSize);
    if (length == kIdSize) return -1;
    for (size_t i = 0; i < kMaxSessions; ++i)
        if (g_sessions[i] && std::strcmp(g_ids[i], id) == 0) return int(i);
    return -1;
}

void EndAllSessions() {
    for (auto& s : g_sessions) s.reset();
}

int Login(const char* params) {
    KeyValues pairs;
    if (params && !ParseKeyValues(params, &pairs)) return MSP_ERROR_INVALID_PARA;
    int result = StartEngine();
    if (result != MSP_SUCCESS) return result;
    LoadVoiceMap(&g_voiceMap);
    g_loggedIn = true;
    return MSP_SUCCESS;
}

const char* Begin(const char* params, int* error) {
    if (!g_loggedIn) {
        *error = MSP_ERROR_NOT_LOGGED_IN;
        return nullptr;
    }
    if (!params) {
        *error = MSP_ERROR_INVALID_PARA;
        return nullptr;
    }
    auto session = std::make_unique<Session>();
    *error = ParseSessionParams(params, &session->params);
    if (*error != MSP_SUCCESS) return nullptr;
    session->voice = FindVoice(session->params.voiceName);
    if (!session->voice) {
        *error = MSP_ERROR_UNKNOWN_VOICE;
        return nullptr;
    }
    if (const std::string* theirs = g_voiceMap.ServerVoice(session->voice->name)) {
        session->serverConfig = g_voiceMap.server;
        session->serverVoice = *theirs;
    }
    for (size_t n = 0; n < kMaxSessions; ++n) {
        size_t slot = (g_nextSlot + n) % kMaxSessions;
        if (g_sessions[slot]) continue;
        // Round robin: a stale id points at text that changes only after
        // many more sessions.
        g_nextSlot = slot + 1;
        std::snprintf(g_ids[slot], kIdSize, "tts-%zu-%lu", slot, ++g_serial);
        g_sessions[slot] = std::move(session);
        return g_ids[slot];
    }
    *error = MSP_ERROR_NO_MEMORY;
    return nullptr;
}

int TextPut(const char* id, const char* text, unsigned int length) {
    int slot = FindSlot(id);
    if (slot < 0) return MSP_ERROR_SESSION_NOT_FOUND;
    Session& s = *g_sessions[slot];
    if (s.state != State::kBegun) return MSP_ERROR_OUT_OF_ORDER;
    if (!text || length == 0) return MSP_ERROR_TEXT_EMPTY;
    if (length > MSP_MAX_TEXT_BYTES) return MSP_ERROR_TEXT_TOO_LONG;
    std::string utf8;
    int result = DecodeText(std::string_view(text, length), s.params.encoding, &utf8);
    if (result != MSP_SUCCESS) return result;
    if (!s.serverVoice.empty()) {
        s.server = std::make_unique<ServerClient>();
        result = s.server->Start(s.serverConfig, s.serverVoice, utf8, s.params);
        if (result != MSP_SUCCESS) return result;
        s.state = State::kSpeaking;
        return MSP_SUCCESS;
    }
    // The whole text at once: synthesis is far faster than real time, and the
    // gain needs the loudest moment of the utterance.
    const std::vector<TextRun> runs = SplitScriptRuns(utf8);
    result = Speak(*s.voice, s.params, runs, SpeakDeadline(runs), &s.pcm);
    if (result != MSP_SUCCESS) return result;
    s.state = State::kSpeaking;
    return MSP_SUCCESS;
}

const void* AudioGet(const char* id, unsigned int* length, int* status, int* error) {
    *length = 0;
    int slot = FindSlot(id);
    if (slot < 0) {
        *error = MSP_ERROR_SESSION_NOT_FOUND;
        return nullptr;
    }
    Session& s = *g_sessions[slot];
    if (s.state == State::kBegun) {
        *error = MSP_ERROR_OUT_OF_ORDER;
        return nullptr;
    }
    *error = MSP_SUCCESS;
    // A server's audio comes as its answer arrives: the next part once the
    // last is handed out.
    if (s.server && !s.server->finished() && s.delivered == s.pcm.size() * sizeof(int16_t)) {
        s.delivered = 0;
        *error = s.server->Take(&s.pcm, kServerWaitMs);
        if (*error != MSP_SUCCESS) return nullptr;
    }
    size_t total = s.pcm.size() * sizeof(int16_t);
    size_t piece = std::min(kPieceBytes, total - s.delivered);
    const void* data = piece ? reinterpret_cast<const uint8_t*>(s.pcm.data()) + s.delivered : nullptr;
    s.delivered += piece;
    *length = unsigned(piece);
    if (s.delivered == total && (!s.server || s.server->finished())) s.state = State::kDelivered;
    *status = s.state == State::kDelivered ? MSP_TTS_FLAG_DATA_END : MSP_TTS_FLAG_STILL_HAVE_DATA;
    return data;
}

int SessionEnd(const char* id) {
    int slot = FindSlot(id);
    if (slot < 0) return MSP_ERROR_SESSION_NOT_FOUND;
    g_sessions[slot].reset();
    return MSP_SUCCESS;
}

int VoiceSource(const char* name, char* buf, int size) {
    if (buf && size > 0) buf[0] = '\0';
    if (!name) return -1;
    VoiceMap map;
    if (!LoadVoiceMap(&map)) return -1;
    const std::string* theirs = map.ServerVoice(name);
    if (!theirs) return 0;
    if (buf && size > 0) {
        const size_t n = std::min(theirs->size(), size_t(size - 1));
        std::memcpy(buf, theirs->data(), n);
        buf[n] = '\0';
    }
    return int(std::min<size_t>(theirs->size(), 0x7fffffff));
}

int Logout() {
    if (!g_loggedIn) return MSP_ERROR_NOT_LOGGED_IN;
    EndAllSessions();
    g_loggedIn = false;
    return MSP_SUCCESS;
}

}  // namespace
}  // namespace msc

using namespace msc;

extern "C" {

int MSPLogin(const char*, const char*, const char* params) {
    std::lock_guard lock(g_mutex);
    try {
        return Login(params);
    } catch (const std::bad_alloc&) {
        return MSP_ERROR_NO_MEMORY;
    } catch (...) {
        return MSP_ERROR_ENGINE;
    }
}

const char* QTTSSessionBegin(const char* params, int* errorCode) {
    std::lock_guard lock(g_mutex);
    int ignored;
    int* error = errorCode ? errorCode : &ignored;
    try {
        return Begin(params, error);
    } catch (const std::bad_alloc&) {
        *error = MSP_ERROR_NO_MEMORY;
    } catch (...) {
        *error = MSP_ERROR_ENGINE;
    }
    return nullptr;
}

int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen, const char*) {
    std::lock_guard lock(g_mutex);
    try {
        return TextPut(sessionID, textString, textLen);
    } catch (const std::bad_alloc&) {
        return MSP_ERROR_NO_MEMORY;
    } catch (...) {
        return MSP_ERROR_ENGINE;
    }
}

const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus, int* errorCode) {
    std::lock_guard lock(g_mutex);
    int ignored;
    int* error = errorCode ? errorCode : &ignored;
    if (!audioLen || !synthStatus) {
        *error = MSP_ERROR_INVALID_PARA;
        return nullptr;
    }
    try {
        return AudioGet(sessionID, audioLen, synthStatus, error);
    } catch (const std::bad_alloc&) {
        *error = MSP_ERROR_NO_MEMORY;
    } catch (...) {
        *error = MSP_ERROR_ENGINE;
    }
    *audioLen = 0;
    return nullptr;
}

int QTTSSessionEnd(const char* sessionID, const char*) {
    std::lock_guard lock(g_mutex);
    return SessionEnd(sessionID);
}

int MSPLogout(void) {
    std::lock_guard lock(g_mutex);
    return Logout();
}

int TesvanoLastError(char* buf, int size) {
    try {
        const std::string text = msc::TakeReports();
        if (buf && size > 0) {
            const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
            std::memcpy(buf, text.data(), n);
            buf[n] = '\0';
        }
        return static_cast<int>(std::min<size_t>(text.size(), 0x7fffffff));
    } catch (...) {
        if (buf && size > 0) buf[0] = '\0';
        return -1;
    }
}

int TesvanoVoiceSource(const char* voiceName, char* buf, int size) {
    try {
        return VoiceSource(voiceName, buf, size);
    } catch (...) {
        if (buf && size > 0) buf[0] = '\0';
        return -1;
    }
}

}  // extern "C"
