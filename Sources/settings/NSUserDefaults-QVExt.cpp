#include "settings/NSUserDefaults-QVExt.h"

#include "settings/UserDefaults.h"

namespace QVExtensions {

QColor unarchivedObjectForKey(const UserDefaults& defaults, const QString& key) {
    const QVariant stored = defaults.objectForKey(key);
    return stored.isValid() ? unarchivedColor(stored.toString()) : QColor();
}

QString archivedColor(const QColor& color) {
    return QString::asprintf("#%02x%02x%02x%02x", color.red(), color.green(), color.blue(),
                             color.alpha());
}

QColor unarchivedColor(const QString& text) {
    if (!text.startsWith(u'#') || (text.size() != 7 && text.size() != 9))
        return {};
    bool ok = false;
    const uint value = QStringView(text).mid(1).toUInt(&ok, 16);
    if (!ok)
        return {};
    if (text.size() == 7)
        return QColor::fromRgb(value >> 16 & 0xff, value >> 8 & 0xff, value & 0xff);
    return QColor::fromRgb(value >> 24 & 0xff, value >> 16 & 0xff, value >> 8 & 0xff, value & 0xff);
}

} // namespace QVExtensions
