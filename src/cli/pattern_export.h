#pragma once
// Export of the patterns into image files: each pattern is painted by
// `PaintPattern` on a pattern form of the requested size, exactly as the
// pattern window paints it, and saved as PNG, followed by a contact sheet.
//
// An export is all or nothing: the files are written into a private
// staging directory inside the target and moved into place only when
// every one of them is complete. A failure (a file that cannot be
// written, a run-time error of a painter) leaves the target as it was,
// and removes the target directory again if the export created it.

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class QScreen;
class QTemporaryDir;
struct CommandLine;

// "pattern-07.png"
QString PatternFileName(int16_t number);
// "contact-sheet.png"
QString ContactSheetFileName();

class PatternExport {
public:
    explicit PatternExport(QString directory);
    // Removes what an unfinished export made.
    ~PatternExport();
    PatternExport(const PatternExport&) = delete;
    PatternExport& operator=(const PatternExport&) = delete;

    // Creates the target directory if need be and checks that files can
    // be written into it. False, with a
    // one-line `error`, when the directory cannot be created or written.
    bool open(QString* error);

    // Renders patterns first..last at `size` and the contact sheet, then
    // moves the files into the target directory. Needs a GUI application
    // object (fonts). False, with a one-line `error`, when a file cannot
    // be written; throws numeric::RuntimeError when a painter raises one.
    bool run(QSize size, qreal logicalDpi, int16_t first, int16_t last, QString* error);

    // The pattern being rendered, or the last one; 0 before any.
    int16_t currentPattern() const { return current_; }
    // The files the finished export wrote, in order (names only).
    const QStringList& written() const { return written_; }

private:
    void discard();

    QString directory_;      // as given
    QString absolute_;       // absolute path of the target
    QStringList created_;    // directories this export created, deepest first
    std::unique_ptr<QTemporaryDir> staging_;
    QStringList written_;
    int16_t current_ = 0;
    bool finished_ = false;
};

// Carries out --export: at the size --size gives, or at the size of
// `screen` (the one --screen chose) when it gives none, printing any
// failure as one line. Returns the exit status. A painter's run-time
// error is printed with the pattern it stopped at; when a screen is
// shown (`screen` set) it is then thrown on, for the program's own report.
int ExportCommand(const CommandLine& commandLine, const QScreen* screen);
