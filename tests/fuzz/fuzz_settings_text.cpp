// The settings file: any text is kept byte for byte, and a value set in it
// reads back without disturbing the others.
#include "settings/SettingsText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    auto text = SettingsText::parse(bytes);
    if (!text)
        return 0;
    if (text->toBytes() != bytes)
        std::abort();
    QMap<QString, QString> expected = text->values();
    expected.insert(QStringLiteral("NetScale"), QStringLiteral("7"));
    text->setValue(QStringLiteral("NetScale"), QStringLiteral("7"));
    const auto reread = SettingsText::parse(text->toBytes());
    if (!reread || reread->values() != expected)
        std::abort();
    return 0;
}
