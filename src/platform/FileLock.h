#pragma once

#include <QString>

#include <memory>

// An exclusive lock (flock) on a file, held from take() until the object goes or the process ends in
// whatever way, a crash or SIGKILL included. Child programs do not inherit it.
class FileLock
{
public:
    // Nothing when another process holds the lock, or the file cannot be opened (it is created 0600).
    static std::unique_ptr<FileLock> take(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(int descriptor) : descriptor_(descriptor) {}

    int descriptor_;
};
