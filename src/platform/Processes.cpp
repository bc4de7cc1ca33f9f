#include "platform/Processes.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

// In the child, between fork and exec: every descriptor but the standard ones closes at exec. The app's sockets,
// files and pipes are none of a child's business. (Closing them here would also close the pipe through which Qt
// learns that exec failed.)
void closeInheritedAtExec()
{
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    rlimit limit{};
    const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                            ? std::min<rlim_t>(limit.rlim_cur, 1 << 20)
                            : 1 << 16;
    for (int descriptor = 3; rlim_t(descriptor) < last; ++descriptor) {
        const int flags = ::fcntl(descriptor, F_GETFD);
        if (flags >= 0)
            ::fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
    }
}

void tieToParent(QProcess& process, int deathSignal)
{
    // Taken before the fork: in the child, a different parent means this one is gone already.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent, deathSignal] {
        ::prctl(PR_SET_PDEATHSIG, deathSignal);
        if (::getppid() != parent)
            ::_exit(127);
        closeInheritedAtExec();
    });
}

bool ownedByThisUser(const QByteArray& processDirectory)
{
    struct stat status
    {};
    return ::stat(processDirectory.constData(), &status) == 0 && status.st_uid == ::getuid();
}

struct Program
{
    QByteArray path;
    // The file now at the path; st_ino 0 when there is none.
    struct stat file;
};

// The process's executable is the program file, or was the file at its path before that was replaced.
bool runsProgram(const QByteArray& processDirectory, const Program& program)
{
    const QByteArray executable = processDirectory + "/exe";
    struct stat running
    {};
    if (program.file.st_ino != 0 && ::stat(executable.constData(), &running) == 0 &&
        running.st_dev == program.file.st_dev && running.st_ino == program.file.st_ino)
        return true;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(executable.constData(), target, sizeof target);
    return length > 0 && QByteArray(target, length) == program.path + " (deleted)";
}

// The pidfd is taken before the process is examined: should the process end and its number be reused
// meanwhile, the signal goes nowhere instead of to the newcomer.
bool terminateIfRunning(pid_t pid, const Program& program)
{
    const QByteArray directory = "/proc/" + QByteArray::number(pid);
    // By number: the C library's declarations of these two lack C linkage in Debian 12.
    const auto handle = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0 && errno != ENOSYS)
        return false;
    bool signalled = false;
    if (ownedByThisUser(directory) && runsProgram(directory, program))
        signalled = handle >= 0 ? ::syscall(SYS_pidfd_send_signal, handle, SIGTERM, nullptr, 0) == 0
                                : ::kill(pid, SIGTERM) == 0;
    if (handle >= 0)
        ::close(handle);
    return signalled;
}

} // namespace

namespace Processes
{

void endWithParent(QProcess& process)
{
    tieToParent(process, SIGTERM);
}

void killWithParent(QProcess& process)
{
    tieToParent(process, SIGKILL);
}

int terminateInstances(const QString& program)
{
    Program wanted{QFile::encodeName(QFileInfo(program).absoluteFilePath()), {}};
    if (::stat(wanted.path.constData(), &wanted.file) != 0)
        wanted.file.st_ino = 0;
    int signalled = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&isNumber));
        if (isNumber && pid != ::getpid() && terminateIfRunning(pid, wanted))
            ++signalled;
    }
    return signalled;
}

bool startDetached(const QString& program, const QStringList& arguments)
{
    std::vector<QByteArray> encoded{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    const int status = ::posix_spawnp(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (status != 0)
        return false;
    // Our child until it ends: reaped, so that it never lingers as a zombie.
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return true;
}

qint64 cpuTimeMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The name in parentheses may hold spaces; utime and stime are the 12th and 13th fields after it.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() <= 12)
        return 0;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 / ::sysconf(_SC_CLK_TCK);
}

} // namespace Processes
