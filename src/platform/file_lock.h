#pragma once
// A lock one holder at a time takes on a file: the system's advisory lock
// on the file (flock), which the system lets go of when its holder ends,
// however it ends (kill -9 and power cuts included), so a lock is never
// stale. The file itself means nothing; it is removed on unlock unless the
// holder wants it kept.

#include <QString>

#include <memory>

class QLockFile;

class FileLock {
public:
    enum class Result {
        Locked, // the lock is ours
        Busy,   // another holder has it
        Failed, // the file cannot be made or locked; the error says why
    };

    FileLock();
    ~FileLock(); // unlocks, leaving the file
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates `path` if need be and takes the lock on it without waiting.
    // Two FileLock objects of one process exclude each other as two
    // processes do. With Failed, `error` holds the system's reason.
    Result tryLock(const QString& path, QString* error);
    bool isLocked() const;
    // Removes the file (unless `remove` is false) and lets go of the lock;
    // nothing when not locked.
    void unlock(bool remove = true);

private:
    int fd_ = -1;                          // POSIX systems
    std::unique_ptr<QLockFile> fallback_;  // elsewhere, Qt's lock file
    QString path_;
};
