#include "audio/any_audio.h"

#include <dlfcn.h>

#include "audio/ffmpeg_module.h"
#include "audio/mp3_decoder.h"
#include "platform/library.h"

namespace tesvano {
namespace {

struct LoadedModule {
    const TesvanoFfmpegModuleTable* table = nullptr;
    std::string problem;
};

LoadedModule Load() {
    LoadedModule m;
    void* library = OpenLibraryBesideProgram(TESVANO_FFMPEG_MODULE_FILE);
    if (!library) {
        // dlerror names the module, or the FFmpeg library it needs that is missing.
        const char* why = dlerror();
        m.problem = std::string("FFmpeg's codecs need " TESVANO_FFMPEG_MODULE_FILE
                                " beside the program and FFmpeg's libraries: ") +
                    (why ? why : "cannot be loaded");
        return m;
    }
    const TesvanoFfmpegModuleTable* (*entry)() = nullptr;
    const TesvanoFfmpegModuleTable* table =
        BindSymbol(library, TESVANO_FFMPEG_MODULE_ENTRY, &entry) ? entry() : nullptr;
    if (!table || table->version != TESVANO_FFMPEG_MODULE_VERSION || !table->decode || !table->release ||
        !table->aacOpen || !table->aacSend || !table->aacReceive || !table->aacClose) {
        m.problem = TESVANO_FFMPEG_MODULE_FILE " beside the program belongs to another version of Tesvano";
        dlclose(library);
        return m;
    }
    m.table = table;  // stays loaded: FFmpeg is not made to unload
    return m;
}

}  // namespace

const TesvanoFfmpegModuleTable* FfmpegModuleTable(std::string* problem) {
    static const LoadedModule module = Load();
    if (!module.table && problem) *problem = module.problem;
    return module.table;
}

AnyAudioDecode DecodeAnyAudio(const std::string& path, int targetRate, size_t outputLimit) {
    std::string problem;
    const TesvanoFfmpegModuleTable* table = FfmpegModuleTable(&problem);
    AnyAudioDecode result;
    if (!table) {
        result.status = kDecodeFailed;
        result.problem = problem;
        return result;
    }
    TesvanoFfmpegResult r{};
    table->decode(path.c_str(), targetRate, outputLimit, &r);
    result.status = r.status;
    result.fileError = r.fileError;
    try {
        if (r.status == kDecodeOk) result.pcm.assign(r.pcm, r.pcm + r.pcmBytes);
    } catch (...) {
        table->release(&r);
        throw;
    }
    table->release(&r);
    return result;
}

}  // namespace tesvano
