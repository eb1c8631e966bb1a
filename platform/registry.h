// Read-only HKEY_LOCAL_MACHINE, kept in a text file in the Windows .reg
// export format ("Windows Registry Editor Version 5.00", [HKEY_LOCAL_MACHINE\...]
// sections, "Name"="value" lines, UTF-8). The installer writes it; the
// program only reads it, as it read the real registry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tesvano {

// $TESVANO_REGISTRY when set and not empty, else /etc/tesvano/registry.reg.
std::string RegistryFilePath();

// One key of HKEY_LOCAL_MACHINE opened for querying: a snapshot of its
// values taken when it was opened.
class CRegistryKey {
public:
    // RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE): false when
    // the key does not exist. Key names compare case-insensitively; a
    // trailing "\" names the key itself. A missing file, or one that is not a
    // registry export, holds no keys; an unreadable line in an export is
    // skipped with a note on standard error.
    bool Open(std::u16string_view path);

    // RegQueryValueExW: copies the value's data (a string as UTF-16 with its
    // terminator) into buffer when it fits in *bytes and sets *bytes to its
    // size. Fails when the value is absent or does not fit (*bytes then says
    // how much room it needs). Value names compare case-insensitively; the
    // value's type is not checked, as the program never checked it.
    bool QueryValue(std::u16string_view name, void* buffer, uint32_t* bytes) const;

private:
    std::vector<std::pair<std::u16string, std::vector<uint8_t>>> values_;
};

}  // namespace tesvano
