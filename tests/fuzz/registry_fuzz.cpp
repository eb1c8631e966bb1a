// libFuzzer target: any bytes as the registry file. Opening the product's
// key and reading its values must never crash; a value fits in exactly the
// room a size query reports, and one byte less is refused with that size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/registry.h"
#include "tests/fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool pointed = setenv("TESVANO_REGISTRY", (tesvano::fuzz::Folder() + "/registry.reg").c_str(), 1) == 0;
    if (!pointed) std::abort();
    tesvano::fuzz::WriteInput("registry.reg", data, size);

    tesvano::CRegistryKey key;
    if (!key.Open(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuaboDevTools")) return 0;
    for (const char16_t* name : {u"Language", u"DisplayName"}) {
        uint32_t bytes = 0;
        if (!key.QueryValue(name, nullptr, &bytes)) continue;  // absent
        std::vector<uint8_t> buffer(bytes + 1);
        uint32_t room = bytes;
        if (!key.QueryValue(name, buffer.data(), &room) || room != bytes) std::abort();
        room = bytes - 1;
        if (bytes > 0 && (key.QueryValue(name, buffer.data(), &room) || room != bytes)) std::abort();
    }
    return 0;
}
