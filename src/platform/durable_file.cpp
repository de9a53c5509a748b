#include "platform/durable_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <system_error>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString SystemErrorText(int errorNumber) {
    return QString::fromLocal8Bit(std::error_code(errorNumber, std::generic_category()).message().c_str());
}

namespace {

QString DirectoryOf(const QString& path) { return QFileInfo(path).absolutePath(); }

} // namespace

#if defined(Q_OS_UNIX)

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// Sets `error` from errno and returns false.
bool Failed(QString* error) {
    if (error) *error = SystemErrorText(errno);
    return false;
}

// Writes all of `data` to `fd`, resuming after a short write; a short
// write (a disk filling up) is followed by one that fails with the reason.
bool WriteAll(int fd, const char* data, qint64 size, QString* error) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failed(error);
        }
        if (n == 0) {
            errno = ENOSPC;
            return Failed(error);
        }
        done += n;
    }
    return true;
}

int SyncFile(int fd) {
    int rc;
    do rc = ::fsync(fd);
    while (rc != 0 && errno == EINTR);
    return rc;
}

int SyncData(int fd) {
#if defined(Q_OS_LINUX)
    int rc;
    do rc = ::fdatasync(fd);
    while (rc != 0 && errno == EINTR);
    return rc;
#else
    return SyncFile(fd);
#endif
}

// Writes `data` into the open file, syncs and closes it; the descriptor is
// closed whatever happens.
bool FinishFile(int fd, const QByteArray& data, QString* error) {
    bool ok = WriteAll(fd, data.constData(), data.size(), error);
    if (ok && SyncFile(fd) != 0) ok = Failed(error);
    // A close can report what the sync did not (NFS); after a failure its
    // own error would hide the first.
    if (::close(fd) != 0 && ok) ok = Failed(error);
    return ok;
}

} // namespace

bool WriteAndSync(const QString& path, const QByteArray& data, QString* error) {
    const int fd = ::open(Native(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Failed(error);
    return FinishFile(fd, data, error);
}

bool RenameReplacing(const QString& from, const QString& to, QString* error) {
    if (::rename(Native(from).constData(), Native(to).constData()) != 0) return Failed(error);
    return true;
}

bool SyncDirectory(const QString& directory, QString* error) {
    const int fd = ::open(Native(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failed(error);
    int rc = SyncFile(fd);
    const int syncErrno = errno;
    ::close(fd);
    // Some file systems cannot sync a directory (EINVAL): their names are
    // as lasting as they can make them.
    if (rc != 0 && syncErrno != EINVAL) {
        errno = syncErrno;
        return Failed(error);
    }
    return true;
}

bool RemoveDurably(const QString& path, QString* error) {
    if (::unlink(Native(path).constData()) != 0 && errno != ENOENT) return Failed(error);
    return SyncDirectory(DirectoryOf(path), error);
}

bool CreateDirectories(const QString& path, QString* error) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // Each prefix that ends a component, from the root down.
    for (qsizetype end = 1; end <= clean.size(); ++end) {
        if (end < clean.size() && clean.at(end) != QLatin1Char('/')) continue;
        const QString part = clean.left(end);
        if (::mkdir(Native(part).constData(), 0777) == 0) {
            if (!SyncDirectory(DirectoryOf(part), error)) return false;
            continue;
        }
        const int reason = errno;
        struct stat st {};
        if (::stat(Native(part).constData(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            errno = ENOTDIR;
            return Failed(error);
        }
        errno = reason;
        return Failed(error);
    }
    return true;
}

bool WriteFileDurably(const QString& path, const QByteArray& data, QString* error) {
    const QFileInfo target(path);
    // Hidden, beside the target, on the same file system so the rename is
    // atomic.
    QByteArray aside = Native(target.absoluteDir().filePath(QLatin1Char('.') + target.fileName()));
    aside += ".XXXXXX";
    const int fd = ::mkstemp(aside.data());
    if (fd < 0) return Failed(error);
    const QString asidePath = QFile::decodeName(aside);
    // mkstemp makes the file private; the record is as readable as any
    // file the user makes.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 || Failed(error);
    if (ok) ok = FinishFile(fd, data, error);
    else ::close(fd);
    if (ok) ok = RenameReplacing(asidePath, target.absoluteFilePath(), error);
    if (!ok) {
        ::unlink(aside.constData());
        return false;
    }
    return SyncDirectory(target.absolutePath(), error);
}

AppendOnlyFile::~AppendOnlyFile() { close(); }

bool AppendOnlyFile::isOpen() const { return fd_ >= 0; }

bool AppendOnlyFile::open(const QString& path, QString* error) {
    close();
    const QByteArray native = Native(path);
    bool created = false;
    int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        created = fd >= 0;
    }
    if (fd < 0) return Failed(error);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        Failed(error);
        ::close(fd);
        return false;
    }
    if (created && !SyncDirectory(DirectoryOf(path), error)) {
        ::close(fd);
        ::unlink(native.constData());
        return false;
    }
    fd_ = fd;
    size_ = st.st_size;
    path_ = path;
    return true;
}

bool AppendOnlyFile::append(const QByteArray& bytes, QString* error, Durability durability) {
    if (fd_ < 0) {
        errno = EBADF;
        return Failed(error);
    }
    if (WriteAll(fd_, bytes.constData(), bytes.size(), error) &&
        (durability == Durability::Written || SyncData(fd_) == 0)) {
        size_ += bytes.size();
        return true;
    }
    QString reason;
    Failed(&reason);
    if (error && error->isEmpty()) *error = reason;
    // Cut off what part of this append reached the file: the file ends
    // with the last whole append, and the next one starts there.
    if (::ftruncate(fd_, static_cast<off_t>(size_)) == 0) SyncData(fd_);
    return false;
}

bool AppendOnlyFile::sync(QString* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return Failed(error);
    }
    return SyncData(fd_) == 0 || Failed(error);
}

bool AppendOnlyFile::close(QString* error) {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) return Failed(error);
    return true;
}

#else // not a POSIX system: Qt's files, without syncing to the disk

bool WriteAndSync(const QString& path, const QByteArray& data, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
        file.write(data) != data.size() || !file.flush()) {
        if (error) *error = file.errorString();
        return false;
    }
    file.close();
    return true;
}

bool RenameReplacing(const QString& from, const QString& to, QString* error) {
    QFile::remove(to);
    QFile file(from);
    if (file.rename(to)) return true;
    if (error) *error = file.errorString();
    return false;
}

bool SyncDirectory(const QString&, QString*) { return true; }

bool RemoveDurably(const QString& path, QString* error) {
    QFile file(path);
    if (!file.exists() || file.remove()) return true;
    if (error) *error = file.errorString();
    return false;
}

bool CreateDirectories(const QString& path, QString* error) {
    if (QDir().mkpath(path)) return true;
    if (error) *error = SystemErrorText(EACCES);
    return false;
}

bool WriteFileDurably(const QString& path, const QByteArray& data, QString* error) {
    const QString aside = path + QStringLiteral(".part");
    if (!WriteAndSync(aside, data, error)) {
        QFile::remove(aside);
        return false;
    }
    return RenameReplacing(aside, path, error);
}

AppendOnlyFile::~AppendOnlyFile() { close(); }

bool AppendOnlyFile::isOpen() const { return file_ != nullptr; }

bool AppendOnlyFile::open(const QString& path, QString* error) {
    close();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error) *error = file->errorString();
        return false;
    }
    size_ = file->size();
    path_ = path;
    file_ = std::move(file);
    return true;
}

bool AppendOnlyFile::append(const QByteArray& bytes, QString* error, Durability) {
    if (!file_) {
        if (error) *error = SystemErrorText(EBADF);
        return false;
    }
    if (file_->write(bytes) == bytes.size() && file_->flush()) {
        size_ += bytes.size();
        return true;
    }
    if (error) *error = file_->errorString();
    file_->resize(size_);
    return false;
}

bool AppendOnlyFile::sync(QString* error) {
    if (file_) return true;
    if (error) *error = SystemErrorText(EBADF);
    return false;
}

bool AppendOnlyFile::close(QString*) {
    file_.reset();
    return true;
}

#endif
