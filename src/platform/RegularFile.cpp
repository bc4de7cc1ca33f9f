#include "platform/RegularFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace
{

Error refusal(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return Error::tolvan(RegularFile::missingCode, QStringLiteral("файл не найден"));
    case ELOOP:
        return Error::tolvan(RegularFile::refusedCode, QStringLiteral("это ссылка, а не сам файл: откройте файл, на "
                                                                      "который она указывает"));
    default:
        return Error::tolvan(RegularFile::refusedCode, QStringLiteral("нет доступа к файлу"));
    }
}

} // namespace

namespace RegularFile
{

Result<std::unique_ptr<QFile>> open(const QString& path)
{
    // Not blocking: opening a FIFO waits for a writer otherwise.
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return refusal(errno);
    struct stat status
    {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return Error::tolvan(refusedCode, QStringLiteral("это не обычный файл"));
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return refusal(EACCES);
    }
    return file;
}

} // namespace RegularFile
