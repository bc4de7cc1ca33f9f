#include "Serving.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace Serving
{

Read readLine(FILE* input, QByteArray& line)
{
    line.clear();
    bool tooLong = false;
    for (;;) {
        const int character = std::getc(input);
        if (character == '\n')
            return tooLong ? Read::tooLong : Read::line;
        if (character == EOF)
            return line.isEmpty() && !tooLong ? Read::end : Read::cutOff;
        if (line.size() < longestLine)
            line.append(static_cast<char>(character));
        else
            tooLong = true;
    }
}

QByteArray errorLine(const QString& problem)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), problem}}).toJson(QJsonDocument::Compact);
}

namespace
{

QByteArray answer(const SherpaLibrary& library, const SherpaLibrary::Recognizer* model, Read read,
                  const QByteArray& line)
{
    switch (read) {
    case Read::tooLong:
        return errorLine(QStringLiteral("строка запроса длиннее %1 байт").arg(longestLine));
    case Read::cutOff:
        return errorLine(QStringLiteral("ввод закончился посреди запроса"));
    case Read::line:
    case Read::end:
        break;
    }
    if (line.isEmpty())
        return errorLine(QStringLiteral("пустой запрос: нужен путь к WAV-файлу"));
    QString problem;
    if (const std::optional<QByteArray> json = library.recognize(model, QFile::decodeName(line), problem))
        return *json;
    return errorLine(problem);
}

} // namespace

int run(const SherpaLibrary& library, const SherpaLibrary::Recognizer* model, FILE* input, FILE* output)
{
    QByteArray line;
    for (;;) {
        const Read read = readLine(input, line);
        if (read == Read::end)
            return 0;
        const QByteArray reply = answer(library, model, read, line);
        // The library's JSON is one line already; a stray line break would split the answer.
        if (std::fprintf(output, "%s\n", QByteArray(reply).replace('\n', ' ').constData()) < 0 ||
            std::fflush(output) != 0)
            return 1;
        if (read == Read::cutOff)
            return 0;
    }
}

} // namespace Serving
