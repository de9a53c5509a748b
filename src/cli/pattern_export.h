#pragma once
// Export of the patterns into image files: each pattern is painted by
// `PaintPattern` on a pattern form of the requested size, exactly as the
// pattern window paints it, and saved as PNG, followed by a contact sheet.
//
// Painting runs on the GUI thread (the painters share the session state);
// the PNG encoding of the pictures runs on every core meanwhile
// (cli/encoder_pool), as many pictures in flight as about 1 GB holds. A
// picture several patterns show (the black field, white) is encoded once
// and its bytes written for each of them.
//
// An export is all or nothing: the files are written into a private
// staging directory inside the target, each synced to the disk, and moved
// into place only when every one of them is complete; then the target
// directory is synced. A failure (a file that cannot be written, a
// run-time error of a painter) or SIGINT/SIGTERM leaves the target as it
// was, and removes the target directory again if the export created it.
//
// One export at a time per directory: an export holds a lock on the file
// `.vantrel-export.lock` in the target while it runs, and a second one is
// refused at once. Holding it, an export removes staging directories
// (`.vantrel-export-XXXXXX`) that an export killed before left behind.

#include "platform/file_lock.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QScreen;
class QTemporaryDir;
struct CommandLine;

// "pattern-07.png", "pattern-112.png"
QString PatternFileName(int16_t number);
// "contact-sheet.png"
QString ContactSheetFileName();

// ".vantrel-export.lock": the file an export holds its lock on.
QString ExportLockFileName();

class PatternExport {
public:
    explicit PatternExport(QString directory);
    // Removes what an unfinished export made.
    ~PatternExport();
    PatternExport(const PatternExport&) = delete;
    PatternExport& operator=(const PatternExport&) = delete;

    // Creates the target directory if need be, takes its export lock,
    // removes what killed exports left there and checks that files can be
    // written into it. False, with a one-line `error`, when the directory
    // cannot be created or written, or when another export into it runs.
    bool open(QString* error);

    // Called on the GUI thread each time a file is complete: how many of
    // the `total` patterns' files are, and the name of this one (the
    // contact sheet comes last, as total of total).
    void setProgress(std::function<void(int done, int total, const QString& name)> progress) {
        progress_ = std::move(progress);
    }

    // Renders the patterns `numbers` at `size`, in their order and each
    // once, and the contact sheet, then moves the files into the target
    // directory. Needs a GUI application object (fonts). False, with a
    // one-line `error`, when a file cannot be written; false with
    // stoppedBy() set when SIGINT or SIGTERM came (watched by
    // WatchStopSignals); throws numeric::RuntimeError when a painter
    // raises one.
    bool run(QSize size, qreal logicalDpi, std::vector<int16_t> numbers, QString* error);
    // The same for the patterns first..last.
    bool run(QSize size, qreal logicalDpi, int16_t first, int16_t last, QString* error);

    // The pattern being rendered, or the last one; 0 before any.
    int16_t currentPattern() const { return current_; }
    // The files the finished export wrote, in order (names only).
    const QStringList& written() const { return written_; }
    // The bytes of all files written.
    qint64 bytesWritten() const { return bytes_; }
    // How many pictures were PNG-encoded: distinct pictures and the sheet.
    int encodedPictures() const { return encoded_; }
    // The stop signal that ended run(), or 0.
    int stoppedBy() const { return stoppedBy_; }

private:
    void discard();

    QString directory_;      // as given
    QString absolute_;       // absolute path of the target
    QStringList created_;    // directories this export created, deepest first
    FileLock lock_;          // held from open() until the export ends
    std::unique_ptr<QTemporaryDir> staging_;
    QStringList written_;
    std::function<void(int, int, const QString&)> progress_;
    qint64 bytes_ = 0;
    int encoded_ = 0;
    int stoppedBy_ = 0;
    int16_t current_ = 0;
    bool finished_ = false;
};

// Carries out --export: at the size --size gives, or at the size of
// `screen` (the one --screen chose) when it gives none, printing any
// failure as one line. On a terminal, and unless --quiet, one line shows
// the progress and ends with the time and size. Returns the exit status:
// 130 or 143 when SIGINT or SIGTERM stopped it. A painter's run-time
// error is printed with the pattern it stopped at; when a screen is
// shown (`screen` set) it is then thrown on, for the program's own report.
int ExportCommand(const CommandLine& commandLine, const QScreen* screen);
