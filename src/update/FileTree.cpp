#include "update/FileTree.h"

#include <QFile>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace
{

fs::path toPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

Error systemError(const std::error_code& code, const QString& operation, const fs::path& path)
{
    return Error::system(
        QStringLiteral("POSIX"), code.value(),
        QStringLiteral("%1 «%2»: %3").arg(operation, fromPath(path), QString::fromLocal8Bit(code.message())));
}

// Directories get their permissions and time after their contents, so that a read-only directory can
// still be filled and writing into it does not change its time.
Result<Done> copyEntry(const fs::path& source, const fs::path& destination)
{
    std::error_code code;
    const fs::file_status status = fs::symlink_status(source, code);
    if (code)
        return systemError(code, QStringLiteral("не удалось прочитать"), source);
    switch (status.type()) {
    case fs::file_type::symlink: {
        const fs::path target = fs::read_symlink(source, code);
        if (!code)
            fs::create_symlink(target, destination, code);
        if (code)
            return systemError(code, QStringLiteral("не удалось скопировать ссылку"), source);
        return Done{};
    }
    case fs::file_type::regular:
        fs::copy_file(source, destination, fs::copy_options::none, code);
        if (code)
            return systemError(code, QStringLiteral("не удалось скопировать"), source);
        break;
    case fs::file_type::directory: {
        fs::create_directory(destination, code);
        if (code)
            return systemError(code, QStringLiteral("не удалось создать папку"), destination);
        for (fs::directory_iterator entry(source, code), end; !code && entry != end; entry.increment(code)) {
            const Result<Done> copied = copyEntry(entry->path(), destination / entry->path().filename());
            if (!copied)
                return copied;
        }
        if (code)
            return systemError(code, QStringLiteral("не удалось прочитать папку"), source);
        fs::permissions(destination, status.permissions(), code);
        if (code)
            return systemError(code, QStringLiteral("не удалось задать права"), destination);
        break;
    }
    default:
        return Error::tolvan(30, QStringLiteral("неподдерживаемый тип файла «%1»").arg(fromPath(source)));
    }
    const auto time = fs::last_write_time(source, code);
    if (!code)
        fs::last_write_time(destination, time, code);
    if (code)
        return systemError(code, QStringLiteral("не удалось задать время"), destination);
    return Done{};
}

} // namespace

namespace FileTree
{

Result<Done> copy(const QString& source, const QString& destination)
{
    if (exists(destination))
        return Error::tolvan(30, QStringLiteral("«%1» уже существует").arg(destination));
    return copyEntry(toPath(source), toPath(destination));
}

bool remove(const QString& path)
{
    std::error_code code;
    fs::remove_all(toPath(path), code);
    return !exists(path);
}

Result<Done> rename(const QString& from, const QString& to)
{
    if (exists(to))
        return Error::tolvan(30, QStringLiteral("«%1» уже существует").arg(to));
    std::error_code code;
    fs::rename(toPath(from), toPath(to), code);
    if (code)
        return systemError(code, QStringLiteral("не удалось переместить"), toPath(from));
    return Done{};
}

bool exists(const QString& path)
{
    std::error_code code;
    return fs::exists(fs::symlink_status(toPath(path), code));
}

} // namespace FileTree
