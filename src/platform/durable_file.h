#pragma once
// Files that are on the disk whole or not at all, and journals whose every
// append is on the disk before it returns. The one way Vantrel writes a
// file: records, maps, exported pictures, logs.
//
// Every failure says the system's reason in words ("No space left on
// device", "Read-only file system", "File name too long"), never an
// unspecified error, and never names the path: the caller knows what it
// was writing and says so.

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;

// Writes `data` as the file `path`: into a new file beside it (same
// directory, a hidden name), every write and the final close checked, the
// file synced to the disk, renamed over `path`, and the directory synced so
// the new name lasts too. On failure `path` is as it was, the file beside
// it is removed, and `error` holds the reason.
bool WriteFileDurably(const QString& path, const QByteArray& data, QString* error);

// The steps of WriteFileDurably, for a writer that gathers several files
// aside and moves them into place together.
//
// Creates or truncates `path`, writes `data` whole and syncs it.
bool WriteAndSync(const QString& path, const QByteArray& data, QString* error);
// Renames `from` to `to`, replacing a file there at once. Both must lie on
// one file system. The directories are not synced: see SyncDirectory.
bool RenameReplacing(const QString& from, const QString& to, QString* error);
// Syncs a directory, so that names created, renamed or removed in it last.
// A file system that cannot sync directories counts as done.
bool SyncDirectory(const QString& directory, QString* error);
// Removes the file `path` and syncs its directory. A file that is not
// there counts as removed.
bool RemoveDurably(const QString& path, QString* error);

// Creates the directory `path` with every parent it lacks, syncing the
// directory each new one is made in. False with the reason when one
// cannot be made (a file in the way, no permission, a read-only file
// system, a name too long); a directory that is there counts as made.
bool CreateDirectories(const QString& path, QString* error);

// A file that only grows, line by line: each append is written whole and
// synced to the disk (its data, fdatasync) before append() returns true,
// unless it asks to be written only.
// An append that fails is cut back off, so the file never keeps half an
// append, and the next append starts where the last good one ended.
class AppendOnlyFile {
public:
    AppendOnlyFile() = default;
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Opens `path` for appending, creating it (and syncing its directory,
    // so the new name lasts) when it is not there.
    bool open(const QString& path, QString* error);
    bool isOpen() const;
    const QString& path() const { return path_; }
    // The bytes appended whole so far, with what the file held at open().
    qint64 size() const { return size_; }

    // How far an append goes before it returns: synced to the disk, or
    // written to the system only (every reader sees it at once; it reaches
    // the disk with the system's own writeback, or at sync()). A sync costs
    // milliseconds, too long for a line at every frame.
    enum class Durability { Synced, Written };

    bool append(const QByteArray& bytes, QString* error, Durability durability = Durability::Synced);
    // Syncs what was appended to the disk.
    bool sync(QString* error);
    // Closes the file; false with the reason when the close reports an
    // error (the appends before it were synced already).
    bool close(QString* error = nullptr);

private:
    int fd_ = -1;                 // POSIX systems
    std::unique_ptr<QFile> file_; // elsewhere, through Qt
    qint64 size_ = 0;
    QString path_;
};

// The system's words for an error number (errno), e.g. "No space left on
// device" for ENOSPC.
QString SystemErrorText(int errorNumber);
