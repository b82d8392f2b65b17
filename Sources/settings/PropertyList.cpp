#include "settings/PropertyList.h"

#include <QXmlStreamReader>

namespace {

// Nesting beyond this is not a settings file; it also bounds the recursion.
constexpr int maxDepth = 32;

class Reader {
public:
    explicit Reader(const QByteArray& xml) : xml_(xml) {}

    std::optional<QVariantMap> document(QString* error) {
        if (!nextElement() || xml_.name() != u"plist") {
            fail(QStringLiteral("no <plist> element"));
        } else if (!nextElement() || xml_.name() != u"dict") {
            fail(QStringLiteral("the property list's root is not a <dict>"));
        } else {
            QVariant root = value(0);
            if (!failed_) {
                // Only the closing </plist> and whitespace may follow.
                while (!xml_.atEnd()) {
                    xml_.readNext();
                    if (xml_.isStartElement())
                        fail(QStringLiteral("content after the root dictionary"));
                }
            }
            if (!failed_ && xml_.hasError())
                fail(xml_.errorString());
            if (!failed_)
                return root.toMap();
        }
        if (error)
            *error = error_;
        return std::nullopt;
    }

private:
    bool nextElement() {
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement())
                return true;
            if (xml_.isEndElement())
                return false;
        }
        return false;
    }

    void fail(const QString& why) {
        if (!failed_) {
            failed_ = true;
            error_ = xml_.hasError()
                         ? xml_.errorString()
                         : QStringLiteral("line %1: %2").arg(xml_.lineNumber()).arg(why);
        }
    }

    // Called with the reader on a start element; leaves it on the matching end.
    QVariant value(int depth) {
        if (depth > maxDepth) {
            fail(QStringLiteral("nested too deeply"));
            return {};
        }
        const QStringView tag = xml_.name();
        if (tag == u"dict")
            return dict(depth);
        if (tag == u"array")
            return array(depth);
        if (tag == u"true" || tag == u"false") {
            const bool v = tag == u"true";
            if (xml_.readNext() != QXmlStreamReader::EndElement)
                fail(QStringLiteral("<true/> and <false/> take no content"));
            return v;
        }
        const QString tagName = tag.toString();
        const QString text = xml_.readElementText();
        if (xml_.hasError()) {
            fail({});
            return {};
        }
        if (tagName == u"string")
            return text;
        if (tagName == u"integer") {
            bool ok = false;
            const qint64 v = text.trimmed().toLongLong(&ok);
            if (!ok)
                fail(QStringLiteral("bad integer \"%1\"").arg(text));
            return v;
        }
        if (tagName == u"real") {
            bool ok = false;
            const double v = text.trimmed().toDouble(&ok);
            if (!ok)
                fail(QStringLiteral("bad real \"%1\"").arg(text));
            return v;
        }
        fail(QStringLiteral("unsupported element <%1>").arg(tagName));
        return {};
    }

    QVariant dict(int depth) {
        QVariantMap map;
        while (!failed_ && nextElement()) {
            if (xml_.name() != u"key") {
                fail(QStringLiteral("a <dict> entry must start with <key>"));
                break;
            }
            const QString key = xml_.readElementText();
            if (!nextElement()) {
                fail(QStringLiteral("key \"%1\" has no value").arg(key));
                break;
            }
            map.insert(key, value(depth + 1));
        }
        return map;
    }

    QVariant array(int depth) {
        QVariantList list;
        while (!failed_ && nextElement())
            list.append(value(depth + 1));
        return list;
    }

    QXmlStreamReader xml_;
    bool failed_ = false;
    QString error_;
};

} // namespace

std::optional<QVariantMap> parsePropertyList(const QByteArray& xml, QString* error) {
    return Reader(xml).document(error);
}
