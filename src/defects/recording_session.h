#pragma once
// One recording session: the faults the operator marks on the pattern
// window, kept in a journal in the record directory as they are made (one
// line each, flushed at once), and at the end the record's files written
// whole: SERIAL-YYYYMMDD-HHMMSS.json, .csv and .png. A session that never
// reached its end leaves its journal behind; the next session in the same
// directory finds it and writes its record.

#include "defects/defect_record.h"

#include <QFile>
#include <QLockFile>
#include <QObject>
#include <QPoint>
#include <QStringList>

#include <memory>

class RecordingSession : public QObject {
    Q_OBJECT
public:
    // `facts`: panel, operator, station, class, screen, mode, sequence and
    // dwell; the start time is set by open().
    RecordingSession(DefectRecord facts, QString dir, QObject* parent = nullptr);
    ~RecordingSession() override;

    // Creates the directory if need be and starts the journal; false with
    // `error` set when it cannot be written.
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
    void takeBack();

    // Writes the record's files and removes the journal. False with
    // `error` set when a file cannot be written: the journal then stays.
    bool finish(QString* error);
    bool finished() const { return finished_; }

Q_SIGNALS:
    // A mark or take-back to acknowledge near the pixel it concerns.
    void acknowledged(const QString& text, QPoint devicePixel);

private:
    void append(const QByteArray& line);

    DefectRecord record_;
    QString dir_;
    QFile journal_;
    std::unique_ptr<QLockFile> lock_;
    bool finished_ = false;
};

// The acknowledgement of a mark: "#3 dark pixel ( 120 , 45 )".
QString MarkAcknowledgement(const DefectMark& mark);

// Writes DIR/<base>.json, .csv and .png, each whole or not at all; the
// paths written go to `written`.
bool WriteRecordFiles(const DefectRecord& record, const QString& dir, QStringList* written, QString* error);

// Writes the record of every session in `dir` whose journal was left by a
// process that ended without finishing it, and removes the journal. One
// line per session recovered goes to `reports`, one per failure to
// `errors`; the records written go to `recovered` when it is given.
void RecoverUnfinishedSessions(const QString& dir, QStringList* reports, QStringList* errors,
                               std::vector<DefectRecord>* recovered = nullptr);
