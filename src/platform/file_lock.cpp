#include "platform/file_lock.h"

#include "platform/durable_file.h"

#include <QFile>
#include <QLockFile>

#include <cerrno>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

FileLock::FileLock() = default;

// A lock still held at the end lets go and leaves its file, as a holder
// that ended any other way would.
FileLock::~FileLock() { unlock(false); }

#if defined(Q_OS_UNIX)

namespace {

// How often the lock is taken again after its file was replaced meanwhile.
constexpr int kAttempts = 8;

// Whether `fd` is still the file named `path` (the holder before may have
// removed it between our open and our lock).
bool StillNamed(int fd, const QByteArray& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

} // namespace

FileLock::Result FileLock::tryLock(const QString& path, QString* error) {
    unlock();
    const QByteArray native = QFile::encodeName(path);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (error) *error = SystemErrorText(errno);
            return Result::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int cause = errno;
            ::close(fd);
            if (cause == EWOULDBLOCK) return Result::Busy;
            if (error) *error = SystemErrorText(cause);
            return Result::Failed;
        }
        if (StillNamed(fd, native)) {
            fd_ = fd;
            path_ = path;
            return Result::Locked;
        }
        ::close(fd);
    }
    return Result::Busy; // taken and let go of again and again meanwhile
}

bool FileLock::isLocked() const { return fd_ >= 0; }

void FileLock::unlock(bool remove) {
    if (fd_ < 0) return;
    // Removed while still held: whoever opens the name next makes a new file.
    if (remove) ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
    fd_ = -1;
}

#else // not a POSIX system: Qt's lock file, whose dead holders count as gone

FileLock::Result FileLock::tryLock(const QString& path, QString* error) {
    unlock();
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        fallback_ = std::move(lock);
        path_ = path;
        return Result::Locked;
    }
    if (lock->error() == QLockFile::LockFailedError) return Result::Busy;
    if (error) *error = SystemErrorText(lock->error() == QLockFile::PermissionError ? EACCES : EIO);
    return Result::Failed;
}

bool FileLock::isLocked() const { return fallback_ != nullptr; }

void FileLock::unlock(bool) { fallback_.reset(); }

#endif
