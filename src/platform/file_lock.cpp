#include "platform/file_lock.h"

#include "platform/durable_file.h"

#include <QFile>
#include <QLockFile>

#include <cerrno>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

FileLock::~FileLock() { unlock(false); }

#if defined(Q_OS_UNIX)

FileLock::Result FileLock::tryLock(const QString& path, QString* error) {
    unlock(false);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = SystemErrorText(errno);
        return Result::Failed;
    }
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int reason = errno;
        ::close(fd);
        if (reason == EWOULDBLOCK) return Result::Busy;
        if (error) *error = SystemErrorText(reason);
        return Result::Failed;
    }
    fd_ = fd;
    path_ = path;
    return Result::Locked;
}

bool FileLock::locked() const { return fd_ >= 0; }

void FileLock::unlock(bool remove) {
    if (fd_ < 0) return;
    if (remove) RemoveDurably(path_, nullptr);
    ::close(fd_);
    fd_ = -1;
}

#else // not a POSIX system: Qt's lock files, taken over when their process has gone

FileLock::Result FileLock::tryLock(const QString& path, QString* error) {
    unlock(false);
    auto file = std::make_unique<QLockFile>(path);
    file->setStaleLockTime(0);
    if (file->tryLock(0)) {
        file_ = std::move(file);
        path_ = path;
        return Result::Locked;
    }
    if (file->error() == QLockFile::LockFailedError) return Result::Busy;
    if (error) *error = file->error() == QLockFile::PermissionError ? SystemErrorText(EACCES) : SystemErrorText(EIO);
    return Result::Failed;
}

bool FileLock::locked() const { return file_ != nullptr; }

void FileLock::unlock(bool) { file_.reset(); }

#endif
