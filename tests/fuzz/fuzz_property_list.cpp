// The default settings' property-list reader.
#include "settings/PropertyList.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QString error;
    (void)parsePropertyList(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                            &error);
    return 0;
}
