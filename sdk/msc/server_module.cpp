// libmsc-server.so: ServerSpeech behind the module's C table.
#include "sdk/msc/server_module.h"

#include "sdk/msc/report.h"

#include <memory>
#include <new>
#include <vector>

#include "sdk/msc/msc.h"
#include "sdk/msc/server_speech.h"

struct MscServerSpeech {
    msc::ServerSpeech speech;
    std::vector<int16_t> pcm;  // what the last take handed out
};

namespace msc {
namespace {

int Start(const MscServerRequest* r, MscServerSpeech** out) {
    if (!r || !out || !r->url || !r->model || !r->keyEnv || !r->voice || (!r->text && r->textBytes) ||
        r->format < 0 || r->format > 2)
        return MSP_ERROR_INVALID_PARA;
    *out = nullptr;
    SetReportSink(r->report);
    try {
        ServerConfig server;
        server.url = r->url;
        server.model = r->model;
        server.keyEnv = r->keyEnv;
        server.format = static_cast<ServerFormat>(r->format);
        server.timeoutSeconds = r->timeoutSeconds;
        SessionParams params;
        params.sampleRate = r->sampleRate;
        params.speed = r->speed;
        params.volume = r->volume;
        auto s = std::make_unique<MscServerSpeech>();
        const int result = s->speech.Start(server, r->voice, std::string(r->text ? r->text : "", r->textBytes), params);
        if (result == MSP_SUCCESS) *out = s.release();
        return result;
    } catch (const std::bad_alloc&) {
        return MSP_ERROR_NO_MEMORY;
    } catch (...) {
        return MSP_ERROR_ENGINE;
    }
}

int Take(MscServerSpeech* s, int waitMs, const int16_t** samples, size_t* count) {
    if (!s || !samples || !count) return MSP_ERROR_INVALID_PARA;
    *samples = nullptr;
    *count = 0;
    try {
        const int result = s->speech.Take(&s->pcm, waitMs);
        *samples = s->pcm.data();
        *count = s->pcm.size();
        return result;
    } catch (const std::bad_alloc&) {
        return MSP_ERROR_NO_MEMORY;
    } catch (...) {
        return MSP_ERROR_ENGINE;
    }
}

int Finished(const MscServerSpeech* s) { return s && s->speech.finished() ? 1 : 0; }

void End(MscServerSpeech* s) { delete s; }

constexpr MscServerModuleTable kTable = {MSC_SERVER_MODULE_VERSION, Start, Take, Finished, End};

}  // namespace
}  // namespace msc

extern "C" const MscServerModuleTable* MscServerModule(void) { return &msc::kTable; }
