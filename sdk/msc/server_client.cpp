#include "sdk/msc/server_client.h"

#include "sdk/msc/report.h"

#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

#include "sdk/msc/msc.h"
#include "sdk/msc/server_module.h"

namespace msc {
namespace {

struct LoadedModule {
    const MscServerModuleTable* table = nullptr;
    std::string problem;
};

// The folder of libmsc.so itself: the module ships beside it, whichever
// program loaded the engine.
std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || !info.dli_fname) return {};
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

LoadedModule Load() {
    LoadedModule m;
    const std::string beside = OwnFolder() + "/" MSC_SERVER_MODULE_FILE;
    void* library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    // Not beside it at all: the library path, as for the engine itself.
    if (!library && access(beside.c_str(), F_OK) != 0) library = dlopen(MSC_SERVER_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        m.problem = std::string("server voices need " MSC_SERVER_MODULE_FILE " beside libmsc.so and libcurl: ") +
                    (why ? why : "cannot be loaded");
        return m;
    }
    const MscServerModuleTable* (*entry)() = reinterpret_cast<const MscServerModuleTable* (*)()>(
        dlsym(library, MSC_SERVER_MODULE_ENTRY));
    const MscServerModuleTable* table = entry ? entry() : nullptr;
    if (!table || table->version != MSC_SERVER_MODULE_VERSION || !table->start || !table->take ||
        !table->finished || !table->end) {
        m.problem = MSC_SERVER_MODULE_FILE " belongs to another version of libmsc";
        dlclose(library);
        return m;
    }
    m.table = table;  // stays loaded: libcurl is not made to unload
    return m;
}

const LoadedModule& Module() {
    static const LoadedModule module = Load();
    return module;
}

int FormatCode(ServerFormat format) {
    switch (format) {
        case ServerFormat::kWav: return 0;
        case ServerFormat::kPcm: return 1;
        case ServerFormat::kMp3: return 2;
    }
    return 0;
}

// The module's reason lines are the engine's: printed and kept here.
void ReportFromModule(const char* line) { Report(line ? line : ""); }

}  // namespace

ServerClient::~ServerClient() {
    if (speech_) Module().table->end(speech_);
}

int ServerClient::Start(const ServerConfig& server, const std::string& serverVoice, const std::string& utf8Text,
                        const SessionParams& params) {
    const LoadedModule& module = Module();
    if (!module.table) {
        Report(module.problem);
        return MSP_ERROR_SERVER_UNREACHABLE;
    }
    if (speech_) return MSP_ERROR_OUT_OF_ORDER;
    const MscServerRequest request = {server.url.c_str(), server.model.c_str(), server.keyEnv.c_str(),
                                      FormatCode(server.format), server.timeoutSeconds, serverVoice.c_str(),
                                      utf8Text.data(), utf8Text.size(), params.sampleRate, params.speed,
                                      params.volume, ReportFromModule};
    return module.table->start(&request, &speech_);
}

int ServerClient::Take(std::vector<int16_t>* pcm, int waitMs) {
    pcm->clear();
    if (!speech_) return MSP_ERROR_OUT_OF_ORDER;
    const int16_t* samples = nullptr;
    size_t count = 0;
    const int result = Module().table->take(speech_, waitMs, &samples, &count);
    if (result == MSP_SUCCESS && count > 0) pcm->assign(samples, samples + count);
    return result;
}

bool ServerClient::finished() const { return speech_ && Module().table->finished(speech_) != 0; }

}  // namespace msc
