#include "operations/synthesis.h"

#include <cstdint>
#include <cstdio>

#include "audio/mixer.h"
#include "i18n/language_table.h"
#include "operations/music.h"
#include "operations/reason.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "speech/speech_engine.h"
#include "speech/synthesis.h"

namespace tesvano {

namespace {

// The engine's line, then the key's line with the same code.
void ReportFailure(IMainWindow& w, const char* engineFormat, const std::string& keyText, int code) {
    w.LogFormat(engineFormat, code);
    w.LogFormat("%s%d.\n", keyText.c_str(), code);
    LogReason(w, TakeEngineReasons());
}

}  // namespace

int text_to_speech_wavfile(const char* text, IMainWindow& w, const char* params, PcmBuffer* pcm) {
    if (!text) {
        std::fputs("params is error!\n", TraceStream());
        return -1;
    }
    const SpeechEngine& engine = CurrentSpeechEngine();
    auto& table = CLanguageTable::Instance();

    int error = 0;
    const char* session = engine.QTTSSessionBegin(params, &error);
    if (error != 0) {
        ReportFailure(w, "QTTSSessionBegin failed, error code: %d.\n", GetAnsiText("VOICE_INIT_FAILED"), error);
        return error;
    }
    const size_t textLength = std::char_traits<char>::length(text);
    int result = engine.QTTSTextPut(session, text, static_cast<unsigned int>(textLength), nullptr);
    if (result != 0) {
        ReportFailure(w, "QTTSTextPut failed, error code: %d.\n", GetAnsiText("VOICE_PUTDATA_FAILED"), result);
        engine.QTTSSessionEnd(session, "TextPutError");
        return result;
    }

    SynthesisBuffer buffer;
    if (!buffer.Allocate()) {
        w.AppendLog(table.GetText("MALLOC_FAILED"));
        // No audio can be taken: the session ends as after a failed audio get.
        engine.QTTSSessionEnd(session, "AudioGetError");
        return -1;
    }
    w.AppendLog(table.GetText("VOICE_WORKING"));

    for (;;) {
        unsigned int length = 0;
        int status = 0;
        error = 0;
        const void* piece = engine.QTTSAudioGet(session, &length, &status, &error);
        if (error != 0) {
            ReportFailure(w, "QTTSAudioGet failed, error code: %d.\n", GetAnsiText("VOICE_CREATE_FAILED"), error);
            engine.QTTSSessionEnd(session, "AudioGetError");
            return error;
        }
        if (piece && length > 0 && !buffer.Append(piece, length)) {
            w.AppendLog(table.GetText("MALLOC_FAILED"));
            engine.QTTSSessionEnd(session, "AudioGetError");
            return -1;
        }
        if (status == kSynthStatusDataEnd) break;
        SleepMilliseconds(100);
    }

    result = engine.QTTSSessionEnd(session, "Normal");
    if (result != 0) {
        ReportFailure(w, "QTTSSessionEnd failed, error code: %d.\n", GetAnsiText("VOICE_CLOSE_FAILED"), result);
        return result;
    }
    *pcm = buffer.Take();
    return 0;
}

EngineLogin::~EngineLogin() {
    if (loggedIn_) CurrentSpeechEngine().MSPLogout();
}

bool EngineLogin::LogIn() {
    if (loggedIn_) return true;
    const int login = CurrentSpeechEngine().MSPLogin(nullptr, nullptr, kLoginParams);
    if (login != 0) {
        std::fprintf(TraceStream(), "MSPLogin failed, error code: %d.\n", login);
        return false;
    }
    loggedIn_ = true;
    return true;
}

bool SpeakAgain(IMainWindow& w, const SayRequest& request, int speed, PcmBuffer* voice) {
    const std::string params = BuildSessionParams(request.voice, request.rate, speed);
    // The session declares gb2312; GB18030 is its superset and holds every character.
    const std::string narrow = WideToGb18030(request.text);
    PcmBuffer speech;
    const int status = text_to_speech_wavfile(narrow.c_str(), w, params.c_str(), &speech);
    if (status != 0) {
        w.LogFormat("text_to_speech_wavfile failed, error code: %d.\n", status);
        return false;
    }
    w.LogFormat("%s%zu.\n", GetAnsiText("TEXT_CREATE_VOICE_OK").c_str(), speech.size());
    if (speech.empty()) return false;
    // Byte counts are ints where the audio goes on: beyond that it cannot be handed out whole.
    if (speech.size() > static_cast<size_t>(INT32_MAX)) {
        w.AppendLog(CLanguageTable::Instance().GetText("MALLOC_FAILED"));
        return false;
    }
    *voice = std::move(speech);
    return true;
}

bool SynthesizeVoice(IMainWindow& w, EngineLogin& login, const SayRequest& request, int speed, PcmBuffer* voice,
                     PcmBuffer* music) {
    if (DecodeBackgroundMusic(w, request.music, request.rate, music) < 0) return false;
    if (!login.LogIn()) return false;
    // A note from the login (a voice map it ignores) is worth seeing in the window too.
    LogReason(w, TakeEngineReasons());
    return SpeakAgain(w, request, speed, voice);
}

bool SynthesizeSpeech(IMainWindow& w, EngineLogin& login, const SayRequest& request, PcmBuffer* pcm) {
    PcmBuffer music, speech;
    if (!SynthesizeVoice(w, login, request, kNormalSpeed, &speech, &music)) return false;
    MixMusic(request.music, speech, music);
    if (speech.size() > static_cast<size_t>(INT32_MAX)) {
        w.AppendLog(CLanguageTable::Instance().GetText("MALLOC_FAILED"));
        return false;
    }
    *pcm = std::move(speech);
    return true;
}

}  // namespace tesvano
