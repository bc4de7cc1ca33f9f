#include "text/StringMapFile.h"

#include "core/Log.h"
#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace
{

std::optional<StringMapFile::Members> membersOf(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    StringMapFile::Members members;
    members.reserve(static_cast<size_t>(object.size()));
    for (auto member = object.begin(); member != object.end(); ++member) {
        if (!member.value().isString())
            return std::nullopt;
        members.emplace_back(member.key(), member.value().toString());
    }
    return members;
}

// Half of a surrogate pair standing alone: UTF-8 cannot hold it, a JSON escape can.
bool isUnpairedSurrogate(const QString& text, qsizetype index)
{
    const QChar c = text.at(index);
    if (c.isHighSurrogate())
        return index + 1 >= text.size() || !text.at(index + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return index == 0 || !text.at(index - 1).isHighSurrogate();
    return false;
}

void appendJsonString(QString& out, const QString& text)
{
    out += QLatin1Char('"');
    for (qsizetype index = 0; index < text.size(); ++index) {
        const QChar c = text.at(index);
        if (isUnpairedSurrogate(text, index)) {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            continue;
        }
        switch (c.unicode()) {
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        case u'\b':
            out += QLatin1String("\\b");
            break;
        case u'\f':
            out += QLatin1String("\\f");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
}

// A file that is there but holds something we cannot read would be lost by the next save: keep a copy.
void keepUnparsableOriginal(const QString& path)
{
    QFile existing(path);
    if (!existing.exists() || !existing.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = existing.readAll();
    existing.close();
    if (bytes.trimmed().isEmpty() || StringMapFile::parses(bytes))
        return;
    const QString backup = path + QStringLiteral(".bak");
    if (StringMapFile::writeBytes(backup, bytes))
        Log::info(QStringLiteral("%1 не читается — прежнее содержимое сохранено в %2")
                      .arg(QFileInfo(path).fileName(), QFileInfo(backup).fileName()));
    else
        Log::info(QStringLiteral("%1 не читается, и сохранить его копию не удалось").arg(QFileInfo(path).fileName()));
}

} // namespace

namespace StringMapFile
{

std::optional<Members> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return membersOf(file.readAll());
}

bool parses(const QByteArray& bytes)
{
    return membersOf(bytes).has_value();
}

QByteArray serialize(const std::map<QString, QString>& map)
{
    if (map.empty())
        return QByteArrayLiteral("{}");
    QString out = QStringLiteral("{\n");
    bool first = true;
    for (const auto& [name, value] : map) {
        if (!first)
            out += QStringLiteral(",\n");
        first = false;
        out += QStringLiteral("  ");
        appendJsonString(out, name);
        out += QStringLiteral(": ");
        appendJsonString(out, value);
    }
    out += QStringLiteral("\n}");
    return out.toUtf8();
}

bool write(const QString& path, const std::map<QString, QString>& map)
{
    keepUnparsableOriginal(path);
    return writeBytes(path, serialize(map));
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // Without a commit the temporary file is removed and the old file stays as it was. The user's words are
    // readable by the user alone; the temporary file is made so before anything is written to it.
    return file.open(QIODevice::WriteOnly) && file.setPermissions(PrivateFiles::fileMode) &&
           file.write(bytes) == bytes.size() && file.commit();
}

} // namespace StringMapFile
