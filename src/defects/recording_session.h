#pragma once
// One recording session: the faults the operator marks on the pattern
// window, kept in a journal in the record directory as they are made (one
// checked line each, on the disk before the mark is acknowledged), and at
// the end the record's files, each written durably:
// SERIAL-YYYYMMDD-HHMMSS.json, .csv and .png. A session that never reached
// its end leaves its journal behind; the next session in the same
// directory finds it, checks it and writes its record.

#include "defects/defect_record.h"
#include "platform/durable_file.h"
#include "platform/file_lock.h"

#include <QObject>
#include <QPoint>
#include <QStringList>

#include <optional>
#include <vector>

class RecordingSession : public QObject {
    Q_OBJECT
public:
    // `facts`: panel, operator, station, class, screen, mode, 1:1 verdict,
    // sequence and dwell; the start time and the session's identity are
    // set by open().
    RecordingSession(DefectRecord facts, QString dir, QObject* parent = nullptr);
    ~RecordingSession() override;

    // The size of the window's drawing surface in device pixels. When it
    // differs from the record's mode (a screen not shown 1:1), a mark's
    // pixel is scaled from the surface to the panel. Default: the mode.
    void setSurfaceSize(QSize size) { surface_ = size; }

    // Creates the directory if need be, takes the session's name and
    // starts the journal; false with `error` set when it cannot: the
    // directory or the journal cannot be written, or a session of the same
    // panel started in the same second holds the name.
    bool open(QString* error);

    const DefectRecord& record() const { return record_; }
    QString journalPath() const;

    // A pattern came on the screen.
    void patternShown(int pattern);
    // A mark key with the pointer on `devicePixel` (counted from 0): '1',
    // '2', '3', 'R', 'C' mark a fault there, Backspace takes back the last
    // mark; other keys do nothing.
    void markKey(int qtKey, QPoint devicePixel);
    void mark(FaultType type, QPoint devicePixel);
    // A mark at the panel pixel `panelPixel` (counted from 1, inside the
    // record's mode). False, with `error` set and the refusal told as the
    // operator's is, when the journal cannot keep it: it is not taken.
    bool markPanelPixel(FaultType type, QPoint panelPixel, QString* error);
    // Takes the last mark back; false, with `error` set when given, when
    // there is none or the journal cannot keep the take-back.
    bool takeBack(QString* error = nullptr);

    // Whether everything the operator did reached the journal. When not,
    // record().notRecorded says what did not.
    bool complete() const { return record_.notRecorded.isEmpty(); }

    // Writes the record's files, then removes the journal. False with
    // `error` set when a file cannot be written: the journal then stays,
    // and no file of the record is left behind.
    bool finish(QString* error);
    bool finished() const { return finished_; }
    // The files finish() wrote, the record (.json) last.
    const QStringList& writtenFiles() const { return written_; }
    // After finish(): why the journal could not be removed, or nothing. The
    // next session in the directory removes it, finding the record written.
    const QString& journalLeft() const { return journalLeft_; }

Q_SIGNALS:
    // A mark or take-back to acknowledge near the pixel it concerns.
    void acknowledged(const QString& text, QPoint devicePixel);
    // A mark was made and kept.
    void marked(const DefectMark& mark);
    // What the operator just did did not reach the journal (or a mark
    // pointed off the panel): a warning to show near the pixel it concerns
    // (a point off the surface: anywhere it is seen).
    void notRecorded(const QString& text, QPoint devicePixel);

private:
    // Appends the line, numbered `nextLine_`; on failure says so.
    bool append(const QByteArray& line, QString* error);
    // Takes what the operator did into the record as not recorded, and
    // tells it.
    void refuse(const QString& what, const QString& reason, QPoint devicePixel);
    // The panel pixel (counted from 1) under the surface pixel `p`
    // (counted from 0), and back.
    std::optional<QPoint> panelPixel(QPoint p) const;
    QPoint devicePixelOf(const DefectMark& mark) const;
    // Appends the mark at `panelPixel`, told near `devicePixel`.
    bool addMark(FaultType type, QPoint panelPixel, QPoint devicePixel, QString* error);

    DefectRecord record_;
    QString dir_;
    QSize surface_;
    AppendOnlyFile journal_;
    FileLock lock_;
    int nextLine_ = 1;
    bool finished_ = false;
    QStringList written_;
    QString journalLeft_;
};

// The acknowledgement of a mark: "#3 dark pixel ( 120 , 45 )".
QString MarkAcknowledgement(const DefectMark& mark);

// Writes DIR/<base>.csv, .png and .json, each durably, the record last; all
// or none: on failure the ones written are removed again. The paths
// written go to `written`. The base name is checked to name files inside
// DIR.
bool WriteRecordFiles(const DefectRecord& record, const QString& dir, QStringList* written, QString* error);

// A record written to the disk: what it holds and its files, the JSON last.
struct WrittenRecord {
    DefectRecord record;
    QStringList files;
};

// What RecoverUnfinishedSessions did.
struct Recovery {
    std::vector<WrittenRecord> written; // the records written
    QStringList reports; // one line per session recovered, and one per loss its journal shows
    QStringList errors;  // one line per journal left in place, and why
};

// Writes the record of every session in `dir` whose journal was left by a
// process that ended without finishing it, and removes the journal. A
// journal whose first line is not a session's, whose name is not its
// session's, or whose record cannot be written is left in place and told
// in `errors`. A journal whose session's record is there already (the
// process ended between the two) is removed.
Recovery RecoverUnfinishedSessions(const QString& dir);
