#pragma once
// The record of one inspection session: who inspected which panel on
// which screen, the patterns shown, the faults marked, and the verdict.
// It is kept as a journal of one JSON object a line while the session
// runs, and written at the end as a JSON document (schema
// "vantrel-inspection/2"), the marks as CSV and a map of the panel.

#include "defects/pixel_faults.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <vector>

inline constexpr const char* kRecordSchema = "vantrel-inspection/2";
// The first schema, without the session's identity and the panel's model;
// still read.
inline constexpr const char* kRecordSchemaV1 = "vantrel-inspection/1";

// One fault marked by the operator. x and y count from 1 in device pixels
// of the panel; a row defect keeps the row's y, a column defect the
// column's x, and both keep the other coordinate of the pointer.
struct DefectMark {
    int number = 0; // 1, 2, ... in the order made; a take-back frees its number
    FaultType type = FaultType::Bright;
    int x = 0;
    int y = 0;
    int pattern = 0;
    QString patternName;
    QDateTime time;
};

struct PatternShown {
    int pattern = 0;
    QString name;
    QDateTime time;
};

// What Qt knows of the screen under test.
struct ScreenIdentity {
    QString name;
    QString manufacturer;
    QString model;
    QString serialNumber;
};

struct DefectRecord {
    QUuid session; // the session's identity, random; null in a record of the first schema
    QString panel;
    QString model; // the panel's model, when given
    QString operatorName;
    QString station;
    int faultClass = 2;
    QDateTime started;
    QDateTime ended;
    bool recovered = false; // rebuilt from the journal of a session that did not end
    ScreenIdentity screen;
    QSize mode;                 // the panel in device pixels
    std::optional<bool> oneToOne; // whether a surface pixel is a panel pixel, when known
    std::vector<int16_t> sequence; // empty: the standard order
    QString dwellSeconds;
    std::vector<PatternShown> patterns;
    std::vector<DefectMark> marks;

    std::vector<FaultMark> faultMarks() const;
    Verdict verdict() const; // against faultClass
    // "DIR-less" base name of the session's files: SERIAL-YYYYMMDD-HHMMSS
    // (the start in UTC).
    QString baseName() const;
};

// The identity of the session a record holds: its own `session`, or for a
// record without one a name-based UUID (version 5) of its panel and start
// time, the same every time the record is read.
QUuid SessionIdentity(const DefectRecord& record);

// "bright pixel", "dark pixel", "sub-pixel defect", "row defect",
// "column defect".
QString FaultTypeText(FaultType type);
// "bright", "dark", "sub-pixel", "row", "column", the record's keys.
QString FaultTypeKey(FaultType type);
std::optional<FaultType> FaultTypeFromKey(const QString& key);

// The whole record as a JSON document, with the verdict, the allowed
// counts of every class and the cluster rule.
QByteArray RecordJson(const DefectRecord& record);
// Reads a document written by RecordJson; false with `error` set when it
// is not one.
bool ReadRecordJson(const QByteArray& json, DefectRecord* record, QString* error);

// The marks as CSV: number, type code, type, x, y, pattern, pattern name,
// time; one header line.
QByteArray MarksCsv(const DefectRecord& record);

// "SERIAL: 2 type 2, 1 type 3, class II, PASS".
QString SummaryLine(const QString& panel, const Verdict& verdict);

// The journal's lines. The first holds the session's fixed facts; then
// one line per pattern shown, per mark and per take-back.
QByteArray JournalStartLine(const DefectRecord& record);
QByteArray JournalPatternLine(const PatternShown& shown);
QByteArray JournalMarkLine(const DefectMark& mark);
QByteArray JournalTakeBackLine(int number, const QDateTime& time);
// Replays a journal; a last line cut short is ignored. False with `error`
// set when even the first line is unreadable.
bool ReplayJournal(const QByteArray& journal, DefectRecord* record, QString* error);
