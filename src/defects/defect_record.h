#pragma once
// The record of one inspection session: who inspected which panel on
// which screen, the patterns shown, the faults marked, and the verdict.
// It is kept as a journal of one JSON object a line while the session
// runs, and written at the end as a JSON document (schema
// "vantrel-inspection/2"), the marks as CSV and a map of the panel.
// Nothing read from a file is trusted: records and journals are checked
// before they are judged or written anew.

#include "defects/pixel_faults.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <vector>

inline constexpr const char* kRecordSchema = "vantrel-inspection/2";
// The first schema, without the session's identity and the panel's model;
// still read.
inline constexpr const char* kRecordSchemaV1 = "vantrel-inspection/1";

// The longest panel serial: the session's files are named after it, and
// their names, with the time, the suffix and the hidden name a file is
// written under before it is renamed, must stay within the 255 bytes a
// file name may have.
constexpr int kMaxPanelSerialLength = 200;
// The largest side of a panel a record may name, in pixels.
constexpr int kMaxPanelSide = 65535;

// Whether a panel serial can name files: 1 to kMaxPanelSerialLength
// letters, digits, '-', '_' and '.', not beginning with '.'. Such a name
// never leaves the directory it is put in.
bool IsSafePanelSerial(const QString& serial);

// One fault marked by the operator. x and y count from 1 in pixels of the
// panel (1..width, 1..height of the record's mode); a row defect keeps the
// row's y, a column defect the column's x, and both keep the other
// coordinate of the pointer.
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

// What a record read from a file says of its own verdict, as written.
struct WrittenVerdict {
    bool present = false;
    FaultCounts counts;
    QString clusterRule;
    QString summary;
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
    QSize mode;                   // the output's mode: the panel in its own pixels
    std::optional<bool> oneToOne; // whether a pattern pixel is a panel pixel, when known
    QString oneToOneReason;       // why (or why it is not known), in the operator's words
    std::vector<int16_t> sequence; // empty: the standard order
    QString dwellSeconds;
    std::vector<PatternShown> patterns;
    std::vector<DefectMark> marks;
    // What the session did that its journal could not keep, or that its
    // journal lost (a damaged line found at recovery): one line each. Not
    // counted in the verdict; when not empty, the record is incomplete.
    QStringList notRecorded;
    WrittenVerdict written; // read back from a file only

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
// Reads a document written by RecordJson and checks it: a safe panel
// serial, a class, a start time, a mode of 1 to kMaxPanelSide pixels a
// side, and marks of known types, of distinct numbers, inside the panel.
// False with `error` set when it is not such a record.
bool ReadRecordJson(const QByteArray& json, DefectRecord* record, QString* error);

// What a record read from a file says of itself that its marks do not
// bear out (counts of faults other than the marks give): one line each,
// empty when it agrees. Its clusters are compared only when it names the
// rule they are counted by now.
QStringList WrittenVerdictDiscrepancies(const DefectRecord& record);

// The marks as CSV: number, type code, type, x, y, pattern, pattern name,
// time; one header line. A text field that a spreadsheet would take for a
// formula (it starts with '=', '+', '-', '@', a tab or a carriage return)
// is prefixed with a single quote; a field with a comma, a quote, a line
// feed or a carriage return is quoted.
QByteArray MarksCsv(const DefectRecord& record);

// "SERIAL: 2 type 2, 1 type 3, class II, PASS".
QString SummaryLine(const QString& panel, const Verdict& verdict);
// The summary line of a record: SummaryLine, then "; RECORD INCOMPLETE:
// ..." when the record says something was not recorded, and "; WARNING:
// ..." when the screen did not show the patterns 1:1.
QString RecordSummaryLine(const DefectRecord& record);

// The journal's lines, each one JSON object ending in a check of its own
// bytes ("check": the first 16 hex digits of its SHA-256) and numbered
// from 1 ("line"), so that a damaged, missing or repeated line is found.
// The first holds the session's fixed facts; then one line per pattern
// shown, per mark and per take-back (naming the mark it takes back).
QByteArray JournalStartLine(const DefectRecord& record);
QByteArray JournalPatternLine(int line, const PatternShown& shown);
QByteArray JournalMarkLine(int line, const DefectMark& mark);
QByteArray JournalTakeBackLine(int line, int number, const QDateTime& time);

// Replays a journal into `record`. Nothing in it is trusted: the first
// line must hold the facts of a session (checked as ReadRecordJson checks a
// record), else the replay fails with `error` set. After it, a line that
// is damaged (its check fails, or it is no journal line), missing or
// repeated, a mark outside the panel, a mark number held already, and a
// take-back of a mark not held are skipped, and each is told by one line
// in `losses`: which line, and what was lost. A take-back removes the mark
// whose number it names. A journal of an earlier version, without line
// checks, is replayed line by line as it is, and `losses` says so.
bool ReplayJournal(const QByteArray& journal, DefectRecord* record, QStringList* losses, QString* error);
