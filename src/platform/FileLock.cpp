#include "platform/FileLock.h"

#include <QFile>

#include <sys/file.h>

#include <fcntl.h>
#include <unistd.h>

std::unique_ptr<FileLock> FileLock::take(const QString& path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return nullptr;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(descriptor));
}

FileLock::~FileLock()
{
    ::close(descriptor_);
}
