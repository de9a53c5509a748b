#pragma once
// An exclusive lock on a file, for a process to tell others that what the
// file guards is in use. The system releases it when the process ends,
// however it ends (a crash, kill -9, a power cut), so a lock can never be
// left behind by a process that has gone.

#include <QString>

#include <memory>

#include <QLockFile>

class FileLock {
public:
    enum class Result {
        Locked, // this object holds the lock now
        Busy,   // another process holds it
        Failed, // the lock file cannot be made: `error` says why
    };

    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock on `path`, creating the file if need be, without
    // waiting.
    Result tryLock(const QString& path, QString* error);
    bool locked() const;
    // Releases the lock; with `remove`, deletes the lock file first, while
    // it is still held.
    void unlock(bool remove);

private:
    QString path_;
    int fd_ = -1;                     // POSIX systems
    std::unique_ptr<QLockFile> file_; // elsewhere, through Qt
};
