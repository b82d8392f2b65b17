// The settings file: whatever parses must survive a write and a read unchanged.
#include "platform/SettingsText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto values =
        parseSettingsText(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!values)
        return 0;
    if (parseSettingsText(formatSettingsText(*values)) != values)
        std::abort();
    return 0;
}
