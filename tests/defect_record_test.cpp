// Inspection sessions: the pixel-fault verdict on synthetic marks, the
// record's files read back and judged again, a journal left by a session
// that never ended, the command line's session options, the sequence the
// left button walks, and the pattern window's mark keys.

#include <QPushButton> // for the modal answerer of support.h

#include "support.h"

#include "cli/command_line.h"
#include "cli/recording_commands.h"
#include "defects/defect_record.h"
#include "defects/recording_session.h"
#include "defects/pixel_faults.h"
#include "session/pattern_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cctype>
#include <climits>
#include <functional>
#include <random>
#include <set>
#include <vector>

namespace {

using T = FaultType;

// n faults of one type, each in a block of its own (10 pixels apart).
std::vector<FaultMark> Spread(T type, int n, int firstRow = 1) {
    std::vector<FaultMark> marks;
    for (int i = 0; i < n; ++i) marks.push_back({type, 1 + 10 * (i % 150), firstRow + 10 * (i / 150)});
    return marks;
}
std::vector<FaultMark> operator+(std::vector<FaultMark> a, const std::vector<FaultMark>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// n pairs of type 3 faults, each pair inside one block.
std::vector<FaultMark> SubPixelPairs(int n) {
    std::vector<FaultMark> marks;
    for (int i = 0; i < n; ++i) {
        marks.push_back({T::SubPixel, 501 + 10 * i, 501});
        marks.push_back({T::SubPixel, 505 + 10 * i, 505});
    }
    return marks;
}

struct VerdictCase {
    const char* name;
    int width, height;
    std::vector<FaultMark> marks;
    int chosen;
    int reached; // 0: no class
    bool pass;
    int64_t clusters12 = 0, clusters3 = 0;
};

// 1920 x 1080 is 2.0736 million pixels: class II allows 4 of type 1 and 2,
// 10 of type 3 and 4 clusters of type 3; class III 10, 31 and 103.
// 1024 x 768 is 0.786432 million: class II allows 1, 1, 3; IV 39 of type 1.
const VerdictCase kVerdicts[] = {
    {"NoFaultsIsClassI", 1920, 1080, {}, 1, 1, true},
    {"OneDarkPixelLeavesClassI", 1920, 1080, Spread(T::Dark, 1), 1, 2, false},
    {"ClassIIAtItsTypeOneLimit", 1920, 1080, Spread(T::Bright, 4), 2, 2, true},
    {"OneTypeOneOverClassII", 1920, 1080, Spread(T::Bright, 5), 2, 3, false},
    {"ClassIIAtItsTypeThreeLimit", 1920, 1080, Spread(T::SubPixel, 10), 2, 2, true},
    {"OneTypeThreeOverClassII", 1920, 1080, Spread(T::SubPixel, 11), 2, 3, false},
    {"ClassIIIAtItsTypeTwoLimit", 1920, 1080, Spread(T::Dark, 31), 3, 3, true},
    {"OneTypeTwoOverClassIII", 1920, 1080, Spread(T::Dark, 32), 3, 4, false},
    {"SmallPanelRoundsTheAllowanceDown", 1024, 768, Spread(T::Bright, 2), 2, 3, false},
    {"SmallPanelAtItsRoundedLimit", 1024, 768, Spread(T::Bright, 1) + Spread(T::Dark, 1, 101), 2, 2, true},
    {"ClassIVAtItsRoundedLimit", 1024, 768, Spread(T::Bright, 39), 4, 4, true},
    {"BeyondClassIV", 1024, 768, Spread(T::Bright, 40), 4, 0, false},
    {"NeighboursAcrossTheLinesOfAGridAreACluster", 1920, 1080, {{T::Bright, 5, 5}, {T::Dark, 6, 6}}, 2, 4, false, 1,
     0},
    {"TwoAdjacentDarkPixelsFailClassII", 1920, 1080, {{T::Dark, 5, 1}, {T::Dark, 6, 1}}, 2, 4, false, 1, 0},
    {"FivePixelsApartIsNoCluster", 1920, 1080, {{T::Dark, 1, 1}, {T::Dark, 6, 1}}, 2, 2, true},
    {"FourPixelsApartDiagonallyIsACluster", 1920, 1080, {{T::SubPixel, 10, 10}, {T::SubPixel, 14, 14}}, 2, 2, true,
     0, 1},
    {"AChainOfNeighboursIsOneCluster", 1920, 1080,
     {{T::Dark, 1, 1}, {T::Bright, 5, 1}, {T::Dark, 9, 4}, {T::Dark, 13, 8}}, 4, 4, true, 1, 0},
    {"TwoGroupsAreTwoClusters", 1920, 1080,
     {{T::SubPixel, 100, 100}, {T::SubPixel, 103, 97}, {T::SubPixel, 107, 100}, {T::SubPixel, 300, 5}, {T::SubPixel, 300, 1}},
     2, 2, true, 0, 2},
    {"TheEndsOfIntAreNoCluster", 1920, 1080, {{T::Bright, INT_MIN, 1}, {T::Bright, INT_MAX, 1}}, 2, 2, true},
    {"NeighboursAtTheEndsOfIntAreClusters", 1920, 1080,
     {{T::Dark, INT_MIN, INT_MIN}, {T::Dark, INT_MIN + 4, INT_MIN + 3}, {T::Dark, INT_MAX, INT_MAX},
      {T::Dark, INT_MAX - 4, INT_MAX}},
     4, 4, true, 2, 0},
    {"TwoInOneBlockAreACluster", 1920, 1080, {{T::Bright, 1, 1}, {T::Dark, 5, 5}}, 2, 4, false, 1, 0},
    {"ThreeInOneBlockAreOneCluster", 1920, 1080, {{T::Dark, 6, 6}, {T::Dark, 8, 8}, {T::Dark, 10, 10}}, 4, 4, true,
     1, 0},
    {"TypeThreeWithTypeOneIsNoCluster", 1920, 1080, {{T::Bright, 1, 1}, {T::SubPixel, 2, 2}}, 2, 2, true},
    {"ClassIIAtItsTypeThreeClusterLimit", 1920, 1080, SubPixelPairs(4), 2, 2, true, 0, 4},
    {"OneTypeThreeClusterOverClassII", 1920, 1080, SubPixelPairs(5), 2, 3, false, 0, 5},
    {"ARowDefectFailsEveryClass", 1920, 1080, {{T::Row, 300, 200}}, 4, 0, false},
    {"AColumnDefectFailsEveryClass", 1920, 1080, {{T::Column, 300, 200}}, 4, 0, false},
};

class InspectionVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(InspectionVerdict, ReachesTheBestClassMet) {
    const VerdictCase& c = GetParam();
    const Verdict v = JudgePanel(c.marks, c.width, c.height, c.chosen);
    EXPECT_EQ(v.classReached.value_or(0), c.reached);
    EXPECT_EQ(v.pass, c.pass);
    EXPECT_EQ(v.counts.clusters12, c.clusters12);
    EXPECT_EQ(v.counts.clusters3, c.clusters3);
}

INSTANTIATE_TEST_SUITE_P(Marks, InspectionVerdict, ::testing::ValuesIn(kVerdicts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InspectionVerdict, AllowedCountsAreExactUpToTheLargestPixelCount) {
    // 500 per million of INT64_MAX pixels, rounded down; no overflow.
    EXPECT_EQ(AllowedFaults(4, INT64_MAX).subPixel, 4611686018427387);
    EXPECT_EQ(AllowedFaults(3, 2073600).dark, 31);
    EXPECT_EQ(AllowedFaults(4, -5).bright, 0);
}

DefectRecord SampleRecord() {
    DefectRecord r;
    r.session = QUuid::fromString(QStringLiteral("0b6c2d4e-1f3a-4b5c-8d6e-7f8091a2b3c4"));
    r.panel = QStringLiteral("QM-2291.A");
    r.model = QStringLiteral("QM27 rev. B");
    r.operatorName = QStringLiteral("Liu, Wen");
    r.station = QStringLiteral("line 3");
    r.faultClass = 1;
    r.started = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
    r.ended = r.started.addSecs(90);
    r.screen = {QStringLiteral("HDMI-1"), QStringLiteral("QML"), QStringLiteral("P27"), QStringLiteral("S123")};
    r.mode = QSize(1920, 1080);
    r.sequence = {1, 7, 49};
    r.dwellSeconds = QStringLiteral("2.5");
    r.patterns = {{1, QStringLiteral("black"), r.started}, {7, QStringLiteral("white"), r.started.addSecs(3)}};
    const std::pair<T, QPoint> marks[] = {{T::Dark, {120, 45}}, {T::Dark, {1920, 1080}}, {T::SubPixel, {1, 1}}};
    for (const auto& [type, at] : marks)
        r.marks.push_back({int(r.marks.size()) + 1, type, at.x(), at.y(), 7, QStringLiteral("white"),
                           r.started.addSecs(10 + int(r.marks.size()))});
    return r;
}

TEST(DefectRecordFiles, ReadBackAndJudgedAgainAgainstAnotherClass) {
    const QTemporaryDir dir;
    const DefectRecord r = SampleRecord();
    QStringList written;
    QString error;
    ASSERT_TRUE(WriteRecordFiles(r, dir.path(), &written, &error)) << error.toStdString();
    const QString base = dir.filePath(QStringLiteral("QM-2291.A-20260304-050607"));
    EXPECT_EQ(written, (QStringList{base + ".csv", base + ".png", base + ".json"}));

    QFile json(base + ".json");
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    DefectRecord back;
    ASSERT_TRUE(ReadRecordJson(json.readAll(), &back, &error)) << error.toStdString();
    EXPECT_EQ(back.panel, r.panel);
    EXPECT_EQ(back.session, r.session);
    EXPECT_EQ(back.model, r.model);
    EXPECT_EQ(back.operatorName, r.operatorName);
    EXPECT_EQ(back.mode, r.mode);
    EXPECT_EQ(back.sequence, r.sequence);
    EXPECT_EQ(back.screen.serialNumber, r.screen.serialNumber);
    EXPECT_EQ(back.patterns.size(), 2u);
    ASSERT_EQ(back.marks.size(), r.marks.size());
    for (size_t i = 0; i < r.marks.size(); ++i) {
        EXPECT_EQ(back.marks[i].type, r.marks[i].type);
        EXPECT_EQ(QPoint(back.marks[i].x, back.marks[i].y), QPoint(r.marks[i].x, r.marks[i].y));
        EXPECT_EQ(back.marks[i].time, r.marks[i].time);
    }
    EXPECT_EQ(SummaryLine(back.panel, back.verdict()),
              QStringLiteral("QM-2291.A: 2 type 2, 1 type 3, class II, FAIL (class I required)"));
    back.faultClass = 2;
    EXPECT_EQ(SummaryLine(back.panel, back.verdict()), QStringLiteral("QM-2291.A: 2 type 2, 1 type 3, class II, PASS"));

    QFile csv(base + ".csv");
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = csv.readAll().trimmed().split('\n');
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[2].startsWith("2,2,dark pixel,1920,1080,7,white,")) << rows[2].toStdString();
    const QImage map(base + ".png");
    EXPECT_FALSE(map.isNull());
    EXPECT_GT(map.width(), map.height());
}

TEST(DefectRecordFiles, ARecordOfTheFirstSchemaIsReadAndKeyedByItsPanelAndStart) {
    QJsonObject first = QJsonDocument::fromJson(RecordJson(SampleRecord())).object();
    first.remove(QStringLiteral("session"));
    first.remove(QStringLiteral("model"));
    first.insert(QStringLiteral("schema"), QStringLiteral("vantrel-inspection/1"));
    QByteArray json = QJsonDocument(first).toJson();
    DefectRecord back, again;
    QString error;
    ASSERT_TRUE(ReadRecordJson(json, &back, &error)) << error.toStdString();
    ASSERT_TRUE(ReadRecordJson(json, &again, &error));
    EXPECT_EQ(SessionIdentity(back).version(), QUuid::Sha1);
    EXPECT_EQ(SessionIdentity(back), SessionIdentity(again));
    back.started = back.started.addSecs(1);
    EXPECT_NE(SessionIdentity(back), SessionIdentity(again));
    json.replace("vantrel-inspection/1", "vantrel-inspection/9");
    EXPECT_FALSE(ReadRecordJson(json, &back, &error));
}

TEST(DefectRecordFiles, CsvFieldsAreNeitherFormulasNorBrokenRows) {
    DefectRecord r = SampleRecord();
    const std::pair<const char*, const char*> names[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1", "\"'+1\""},
        {"-2", "\"'-2\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""},
        {"\tx", "\"'\tx\""},
        {"\rx", "\"'\rx\""},
        {"a\rb", "\"a\rb\""},
        {"a,b", "\"a,b\""},
        {"white", "white"},
    };
    for (const auto& [name, field] : names) {
        r.marks[0].patternName = QString::fromUtf8(name);
        const QByteArray csv = MarksCsv(r);
        const QByteArray row = csv.mid(csv.indexOf('\n') + 1);
        EXPECT_TRUE(row.startsWith(QByteArray("1,2,dark pixel,120,45,7,") + field + ",2026-"))
            << name << " gave " << row.left(60).toStdString();
    }
}

// Writes `bytes` as `name` in `dir`.
void Plant(const QString& dir, const QString& name, const QByteArray& bytes) {
    QFile file(QDir(dir).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct ReportCase {
    const char* name;
    std::function<void(QJsonObject&)> change;
    int status;
    const char* out; // parts of stdout, separated by '|', or "" for nothing
    const char* err; // a part of stderr, or "" for nothing
};

// Changes field `key` of mark `i` (from 0) of a record.
std::function<void(QJsonObject&)> SetMark(int i, const char* key, QJsonValue value) {
    return [=](QJsonObject& o) {
        QJsonArray marks = o.value("marks").toArray();
        QJsonObject m = marks[i].toObject();
        m.insert(QLatin1String(key), value);
        marks[i] = m;
        o.insert("marks", marks);
    };
}
std::function<void(QJsonObject&)> Set(const char* key, QJsonValue value) {
    return [=](QJsonObject& o) { o.insert(QLatin1String(key), value); };
}

const ReportCase kReports[] = {
    {"AnIntactRecordIsJudgedAgain", [](QJsonObject&) {}, 0,
     "QM-2291.A: 2 type 2, 1 type 3, class II, FAIL (class I required)\n", ""},
    {"AMarkAtTheLowEndOfIntIsRefused", SetMark(0, "x", INT_MIN), 1, "",
     "mark #1 at ( -2147483648 , 45 ) lies outside the 1920x1080 panel"},
    {"AMarkAtTheHighEndOfIntIsRefused", SetMark(2, "y", INT_MAX), 1, "",
     "mark #3 at ( 1 , 2147483647 ) lies outside"},
    {"AMarkBeyondIntIsRefused", SetMark(1, "x", 1e300), 1, "", "mark 2 is unreadable: mark #2 has no pixel"},
    {"AModeWhosePixelsOverflowIsRefused",
     Set("mode", QJsonObject{{"width", 3037000500.0}, {"height", 3037000500.0}}), 1, "",
     "not a record Vantrel writes: its mode is not 1 to 65535 pixels a side"},
    {"AnUnknownTypeIsRefused", SetMark(0, "type", "scratch"), 1, "", "mark #1 is of an unknown type 'scratch'"},
    {"ANumberTwiceIsRefused", SetMark(1, "number", 1), 1, "", "mark #1 appears twice"},
    {"APanelWithTerminalEscapesIsRefusedAndPrintedEscaped",
     Set("panel", "QM\x1b[2K\rQM-1: no faults, class I, PASS"), 1, "", "its panel 'QM\\x1b[2K\\rQM-1: no faults"},
    {"ARecordOfTheGridRuleIsJudgedAgainAndSaysSo",
     [](QJsonObject& o) {
         SetMark(0, "x", 5)(o);
         SetMark(0, "y", 1)(o);
         SetMark(1, "x", 6)(o);
         SetMark(1, "y", 1)(o);
         QJsonObject verdict = o.value("verdict").toObject();
         verdict.insert("clusterRule", GridClusterRule());
         o.insert("verdict", verdict);
         o.insert("class", "II");
     },
     0, "judged again by the cluster rule of today|1 cluster of type 1/2, class IV, FAIL (class II required)\n", ""},
    {"AMarkRemovedAfterwardsIsWarned",
     [](QJsonObject& o) {
         QJsonArray marks = o.value("marks").toArray();
         marks.removeLast();
         o.insert("marks", marks);
     },
     0, "QM-2291.A: 2 type 2, class II", "warning: its verdict counts 1 type 3 but its marks hold 0"},
    {"AScreenNotOneToOneWarns", Set("oneToOne", false), 0, "; WARNING: the screen did not show the patterns 1:1", ""},
    {"AnIncompleteRecordSaysSo", Set("notRecorded", QJsonArray{"a mark"}), 0,
     "; RECORD INCOMPLETE: 1 event(s) not recorded", ""},
};

class InspectionReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(InspectionReport, ChecksTheRecordBeforeItJudgesIt) {
    const ReportCase& c = GetParam();
    const QTemporaryDir dir;
    QJsonObject o = QJsonDocument::fromJson(RecordJson(SampleRecord())).object();
    c.change(o);
    CommandLine line;
    line.reportFile = dir.filePath("record.json");
    Plant(dir.path(), "record.json", QJsonDocument(o).toJson());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = ReportCommand(line);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, c.status) << err;
    EXPECT_EQ(out.empty(), !*c.out) << out;
    for (const QString& part : QString::fromUtf8(c.out).split('|'))
        EXPECT_NE(out.find(part.toStdString()), std::string::npos) << out;
    EXPECT_EQ(err.empty(), !*c.err) << err;
    EXPECT_NE(err.find(c.err), std::string::npos) << err;
    for (const std::string& text : {out, err})
        EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char ch) { return ch != '\n' && uint8_t(ch) < 0x20; }))
            << text;
}

INSTANTIATE_TEST_SUITE_P(Records, InspectionReport, ::testing::ValuesIn(kReports),
                         [](const auto& info) { return std::string(info.param.name); });

DefectRecord SessionFacts() {
    DefectRecord facts = SampleRecord();
    facts.marks.clear();
    facts.patterns.clear();
    return facts;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(InspectionJournal, LeftByAKilledSessionIsRecoveredWithItsMarksAndItsCutLastLineIsTold) {
    const QTemporaryDir dir;
    QString journalPath;
    {
        RecordingSession session(SessionFacts(), dir.path());
        QString error;
        ASSERT_TRUE(session.open(&error)) << error.toStdString();
        journalPath = session.journalPath();
        SessionState.PatternIndex = 5;
        session.patternShown(5);
        session.markKey(Qt::Key_2, QPoint(119, 44));
        session.markKey(Qt::Key_R, QPoint(9, 299));
        session.markKey(Qt::Key_Backspace, {});
        session.markKey(Qt::Key_3, QPoint(0, 0));
        session.markKey(Qt::Key_A, QPoint(7, 7)); // not a mark key
        // The session ends here without finishing, as a killed process
        // would, in the middle of writing one more line.
        QFile journal(journalPath);
        ASSERT_TRUE(journal.open(QIODevice::Append));
        journal.write("{\"event\":\"mark\",\"number\":3,\"ty");
    }
    ASSERT_TRUE(QFile::exists(journalPath));
    const Recovery recovery = RecoverUnfinishedSessions(dir.path());
    EXPECT_TRUE(recovery.errors.isEmpty()) << recovery.errors.join(' ').toStdString();
    ASSERT_EQ(recovery.reports.size(), 2);
    EXPECT_TRUE(recovery.reports[1].endsWith("journal line 7 was cut short as the session ended: mark #3 is lost"))
        << recovery.reports[1].toStdString();
    EXPECT_FALSE(QFile::exists(journalPath));
    EXPECT_FALSE(QFile::exists(journalPath + ".lock"));
    ASSERT_EQ(recovery.written.size(), 1u);
    ASSERT_EQ(recovery.written[0].files.size(), 3);

    DefectRecord back;
    QString error;
    ASSERT_TRUE(ReadRecordJson(ReadAll(recovery.written[0].files.constLast()), &back, &error)) << error.toStdString();
    EXPECT_TRUE(back.recovered);
    EXPECT_EQ(back.notRecorded.size(), 1);
    EXPECT_EQ(back.session.version(), QUuid::Random) << "the recovered record keeps the session's own identity";
    ASSERT_EQ(back.marks.size(), 2u);
    EXPECT_EQ(back.marks[0].type, T::Dark);
    EXPECT_EQ(QPoint(back.marks[0].x, back.marks[0].y), QPoint(120, 45));
    EXPECT_EQ(back.marks[0].patternName, QStringLiteral("green"));
    EXPECT_EQ(back.marks[1].type, T::SubPixel);
    EXPECT_EQ(back.marks[1].number, 2);
    EXPECT_EQ(back.patterns.size(), 1u);
}

// A journal as its lines: the start, pattern 7, marks #1 to #3 and the
// take-back of #3, each ending in a line feed.
QList<QByteArray> JournalLines() {
    DefectRecord facts = SessionFacts();
    const QDateTime t = facts.started;
    const DefectMark marks[] = {{1, T::Dark, 120, 45, 7, QStringLiteral("white"), t.addSecs(5)},
                                {2, T::Bright, 10, 10, 7, QStringLiteral("white"), t.addSecs(6)},
                                {3, T::SubPixel, 1, 1, 7, QStringLiteral("white"), t.addSecs(7)}};
    return {JournalStartLine(facts), JournalPatternLine(2, {7, QStringLiteral("white"), t.addSecs(1)}),
            JournalMarkLine(3, marks[0]), JournalMarkLine(4, marks[1]), JournalMarkLine(5, marks[2]),
            JournalTakeBackLine(6, 3, t.addSecs(8))};
}

using Lines = QList<QByteArray>;

struct JournalCase {
    const char* name;
    std::function<Lines(Lines)> damage;
    std::vector<int> marks; // the numbers replayed
    int losses;             // lines told
    const char* told;       // a part of what is told, or of the error when `marks` is empty and losses < 0
};

DefectRecord FactsWith(const std::function<void(DefectRecord&)>& change) {
    DefectRecord facts = SessionFacts();
    change(facts);
    return facts;
}
DefectMark Mark(int number, int x, int y) { return {number, T::Dark, x, y, 7, QStringLiteral("white"), QDateTime()}; }
QByteArray Flip(QByteArray line, const QByteArray& from, const QByteArray& to) { return line.replace(from, to); }

const JournalCase kJournals[] = {
    {"AnIntactJournalLosesNothing", [](Lines l) { return l; }, {1, 2}, 0, ""},
    {"ATakeBackOfADamagedMarkRemovesNoOtherMark",
     [](Lines l) { l[4] = Flip(l[4], "\"x\":1", "\"x\":7"); return l; }, {1, 2}, 2,
     "line 5 is damaged: mark #3 is lost"},
    {"ATakeBackRemovesTheMarkItNames", [](Lines l) { l[5] = JournalTakeBackLine(6, 1, QDateTime()); return l; },
     {2, 3}, 0, ""},
    {"AFlippedDigitIsFound", [](Lines l) { l[2] = Flip(l[2], "120", "130"); return l; }, {2}, 1,
     "line 3 is damaged: mark #1 is lost"},
    {"ARepeatedLineIsSkipped", [](Lines l) { l.insert(3, l[3]); return l; }, {1, 2}, 1,
     "line 5 repeats line 4 of the journal: skipped"},
    {"AMissingLineIsTold", [](Lines l) { l.removeAt(2); return l; }, {2}, 1,
     "line 3 follows a gap: 1 line(s) of the journal before it are missing"},
    {"AnEmptyLineIsTold", [](Lines l) { l.insert(3, "\n"); return l; }, {1, 2}, 1, "line 4 is empty"},
    {"AMarkOutsideThePanelIsSkipped", [](Lines l) { l[3] = JournalMarkLine(4, Mark(2, 1921, 5)); return l; }, {1}, 1,
     "line 4 is skipped: mark #2 at ( 1921 , 5 ) lies outside the 1920x1080 panel"},
    {"AMarkNumberHeldAlreadyIsSkipped", [](Lines l) { l[3] = JournalMarkLine(4, Mark(1, 3, 3)); return l; }, {1}, 1,
     "mark #1 is held already"},
    {"ALastLineCutShortIsTold", [](Lines l) { l[5] = l[5].left(40); return l; }, {1, 2, 3}, 1,
     "line 6 was cut short as the session ended: the take-back of mark #3 (the mark stays) is lost"},
    {"AJournalWithoutLineChecksIsReplayedAndSaysSo",
     [](Lines l) {
         for (QByteArray& line : l) line = line.left(line.indexOf(",\"check\":")) + "}\n";
         return l;
     },
     {1, 2}, 1, "the journal has no line checks"},
    {"APanelOutsideTheDirectoryIsRefused",
     [](Lines l) { l[0] = JournalStartLine(FactsWith([](DefectRecord& r) { r.panel = "../trav/evil"; })); return l; },
     {}, -1, "its panel '../trav/evil' is not a serial Vantrel takes"},
    {"AnAbsolutePanelIsRefused",
     [](Lines l) { l[0] = JournalStartLine(FactsWith([](DefectRecord& r) { r.panel = "/tmp/evil"; })); return l; },
     {}, -1, "its panel '/tmp/evil' is not a serial"},
    {"AHostileModeIsRefused",
     [](Lines l) { l[0] = JournalStartLine(FactsWith([](DefectRecord& r) { r.mode = QSize(INT_MAX, 2); })); return l; },
     {}, -1, "its mode is not 1 to 65535 pixels a side"},
    {"ADamagedFirstLineIsRefused", [](Lines l) { l[0] = Flip(l[0], "QM-2291", "QM-2292"); return l; }, {}, -1,
     "its first line, the session's facts, is damaged"},
};

class InspectionReplay : public ::testing::TestWithParam<JournalCase> {};

TEST_P(InspectionReplay, KeepsWhatTheJournalHoldsAndTellsEveryLoss) {
    const JournalCase& c = GetParam();
    DefectRecord record;
    QStringList losses;
    QString error;
    const bool replayed = ReplayJournal(c.damage(JournalLines()).join(), &record, &losses, &error);
    if (c.losses < 0) {
        EXPECT_FALSE(replayed);
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.told))) << error.toStdString();
        return;
    }
    ASSERT_TRUE(replayed) << error.toStdString();
    std::vector<int> numbers;
    for (const DefectMark& m : record.marks) numbers.push_back(m.number);
    EXPECT_EQ(numbers, c.marks);
    EXPECT_EQ(losses.size(), c.losses) << losses.join('\n').toStdString();
    if (c.losses > 0) {
        EXPECT_TRUE(losses.join('\n').contains(QString::fromUtf8(c.told))) << losses.join('\n').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Journals, InspectionReplay, ::testing::ValuesIn(kJournals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InspectionJournal, RecoveryWritesOnlyInsideItsDirectoryAndLeavesWhatItCannotTrust) {
    const QTemporaryDir parent;
    const QString dir = parent.filePath(QStringLiteral("records"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const Lines lines = JournalLines();
    const QByteArray rest = Lines(lines.begin() + 1, lines.end()).join();
    const auto journal = [&rest](const DefectRecord& r) { return JournalStartLine(r) + rest; };
    const DefectRecord evil = FactsWith([](DefectRecord& r) { r.panel = QStringLiteral("../trav/evil"); });
    const DefectRecord other = FactsWith([](DefectRecord& r) { r.panel = QStringLiteral("QM-OTHER"); });
    const DefectRecord done = FactsWith([](DefectRecord& r) { r.panel = QStringLiteral("QM-DONE"); });
    const DefectRecord taken = FactsWith([](DefectRecord& r) { r.panel = QStringLiteral("QM-TAKEN"); });
    Plant(dir, QStringLiteral("evil.journal"), journal(evil));
    Plant(dir, QStringLiteral("QM-2291.A-20260304-050607.journal"), journal(other)); // not its own name
    Plant(dir, done.baseName() + ".journal", journal(done));
    Plant(dir, done.baseName() + ".json", RecordJson(done)); // written, then the process ended
    Plant(dir, taken.baseName() + ".journal", journal(taken));
    DefectRecord stranger = taken;
    stranger.session = QUuid::createUuid();
    Plant(dir, taken.baseName() + ".json", RecordJson(stranger));

    const Recovery recovery = RecoverUnfinishedSessions(dir);
    EXPECT_TRUE(recovery.written.empty());
    ASSERT_EQ(recovery.errors.size(), 3) << recovery.errors.join('\n').toStdString();
    EXPECT_TRUE(recovery.errors.join('\n').contains("its panel '../trav/evil' is not a serial Vantrel takes"));
    EXPECT_TRUE(recovery.errors.join('\n').contains("whose files are not named after it"));
    EXPECT_TRUE(recovery.errors.join('\n').contains("is there and is not the record of its session"));
    ASSERT_EQ(recovery.reports.size(), 1);
    EXPECT_TRUE(recovery.reports[0].startsWith("removed the journal")) << recovery.reports[0].toStdString();
    EXPECT_EQ(Entries(parent.path()), QStringList{QStringLiteral("records")});
    QStringList left{"QM-2291.A-20260304-050607.journal", done.baseName() + ".json", taken.baseName() + ".journal",
                     taken.baseName() + ".json", "evil.journal"};
    left.sort();
    QStringList entries = Entries(dir);
    entries.sort();
    EXPECT_EQ(entries, left);
}

TEST(InspectionJournal, WhatTheDiskCannotKeepIsToldNotAcknowledgedAndNotCounted) {
    const QTemporaryDir dir;
    RecordingSession session(SessionFacts(), dir.path());
    QString error;
    ASSERT_TRUE(session.open(&error)) << error.toStdString();
    QSignalSpy acks(&session, &RecordingSession::acknowledged);
    QSignalSpy refused(&session, &RecordingSession::notRecorded);
    session.markKey(Qt::Key_2, QPoint(119, 44));
    const qint64 size = QFileInfo(session.journalPath()).size();
    {
        const test::FileSizeLimit limit(size + 20); // no further line fits
        session.markKey(Qt::Key_1, QPoint(9, 9));
        session.markKey(Qt::Key_Backspace, {});
    }
    EXPECT_EQ(acks.count(), 1);
    ASSERT_EQ(refused.count(), 2);
    EXPECT_EQ(refused[0][0].toString(),
              "NOT RECORDED: bright pixel ( 10 , 10 ): cannot append to the journal: File too large");
    EXPECT_TRUE(refused[1][0].toString().startsWith("NOT TAKEN BACK: #1 stays in the record"));
    EXPECT_EQ(QFileInfo(session.journalPath()).size(), size) << "a failed line is cut back off";
    EXPECT_FALSE(session.complete());
    session.markKey(Qt::Key_3, QPoint(0, 0));
    EXPECT_EQ(acks.last()[0].toString(), "#2 sub-pixel defect ( 1 , 1 )");

    // The record's files cannot all be written: none stays, nor does any
    // summary of a record; the journal stays.
    {
        const test::FileSizeLimit limit(2000);
        EXPECT_FALSE(session.finish(&error));
    }
    EXPECT_TRUE(error.endsWith(".png: File too large")) << error.toStdString();
    EXPECT_EQ(Entries(dir.path()), (QStringList{QFileInfo(session.journalPath()).fileName(),
                                                QFileInfo(session.journalPath()).fileName() + ".lock"}));
    DefectRecord replayed;
    QStringList losses;
    ASSERT_TRUE(ReplayJournal(ReadAll(session.journalPath()), &replayed, &losses, &error));
    EXPECT_TRUE(losses.isEmpty()) << losses.join('\n').toStdString();
    EXPECT_EQ(replayed.marks.size(), 2u);

    ASSERT_TRUE(session.finish(&error)) << error.toStdString();
    EXPECT_EQ(Entries(dir.path()).size(), 3) << Entries(dir.path()).join(' ').toStdString();
    DefectRecord back;
    ASSERT_TRUE(ReadRecordJson(ReadAll(session.writtenFiles().constLast()), &back, &error));
    EXPECT_EQ(back.notRecorded.size(), 2);
    EXPECT_EQ(back.marks.size(), 2u);
    EXPECT_TRUE(RecordSummaryLine(back).endsWith("(class I required); RECORD INCOMPLETE: 2 event(s) not recorded "
                                                 "(see notRecorded)"))
        << RecordSummaryLine(back).toStdString();
}

TEST(InspectionJournal, ASecondSessionOfThePanelInTheSameSecondIsRefusedWithItsReason) {
    const QTemporaryDir dir;
    for (int attempt = 0; attempt < 5; ++attempt) {
        RecordingSession first(SessionFacts(), dir.path()), second(SessionFacts(), dir.path());
        QString error;
        ASSERT_TRUE(first.open(&error)) << error.toStdString();
        const bool opened = second.open(&error);
        if (first.record().baseName() != second.record().baseName()) continue; // a new second began between
        EXPECT_FALSE(opened);
        EXPECT_EQ(error, QStringLiteral("a session of panel QM-2291.A started in the same second is still running "
                                        "in %1; start again a second later")
                             .arg(dir.path()));
        return;
    }
    FAIL() << "no two sessions opened in one second";
}

// ---- thousands of damaged journals and records ----------------------------

// A journal of 40 events drawn from `random`, and the marks it holds.
std::pair<QByteArray, std::vector<DefectMark>> RandomJournal(std::mt19937& random) {
    const DefectRecord facts = SessionFacts();
    QByteArray journal = JournalStartLine(facts);
    std::vector<DefectMark> marks;
    int line = 2;
    for (int event = 0; event < 40; ++event) {
        const QDateTime t = facts.started.addSecs(event + 1);
        const unsigned kind = random() % 10;
        if (kind < 2) {
            journal += JournalPatternLine(line++, {int(1 + random() % 67), QStringLiteral("white"), t});
        } else if (kind < 8 || marks.empty()) {
            const DefectMark m{int(marks.size()) + 1, FaultType(1 + random() % 5), int(1 + random() % 1920),
                               int(1 + random() % 1080), 7, QStringLiteral("white"), t};
            marks.push_back(m);
            journal += JournalMarkLine(line++, m);
        } else {
            journal += JournalTakeBackLine(line++, marks.back().number, t);
            marks.pop_back();
        }
    }
    return {journal, marks};
}

// `bytes` damaged one to three times: cut, a byte flipped, a line repeated,
// removed or swapped, a text or a number made hostile.
QByteArray Damage(QByteArray bytes, std::mt19937& random) {
    const char* strings[] = {"../trav/evil", "/tmp/evil", "\\u001b[2K\\rQM: PASS", "\\u202e", "%1%2", "\\u0000", "..",
                             "", "x\\ny", "=cmd|' /C calc'!A0"};
    const char* numbers[] = {"-2147483648", "2147483647", "2147483648", "1e308", "-1e308", "0", "-1",
                             "9223372036854775807", "1.5", "null", "\"7\"", "[]"};
    const auto pick = [&random](qsizetype n) { return qsizetype(random() % quint64(std::max<qsizetype>(n, 1))); };
    for (unsigned k = 1 + random() % 3; k > 0; --k) {
        QList<QByteArray> lines = bytes.split('\n');
        switch (random() % 7) {
        case 0: bytes.truncate(pick(bytes.size() + 1)); continue;
        case 1:
            if (!bytes.isEmpty()) bytes[pick(bytes.size())] ^= char(1 + random() % 255);
            continue;
        case 2: lines.insert(pick(lines.size()), lines[pick(lines.size())]); break;
        case 3: lines.removeAt(pick(lines.size())); break;
        case 4: lines.swapItemsAt(pick(lines.size()), pick(lines.size())); break;
        case 5: {
            // The text of a value: from just after `":"` to its closing quote.
            const qsizetype at = bytes.indexOf("\":\"", pick(bytes.size()));
            const qsizetype end = at < 0 ? -1 : bytes.indexOf('"', at + 3);
            if (end > 0) bytes.replace(at + 3, end - at - 3, strings[random() % std::size(strings)]);
            continue;
        }
        default: {
            // A number after a colon.
            qsizetype at = bytes.indexOf(':', pick(bytes.size()));
            if (at < 0 || at + 1 >= bytes.size() || !std::isdigit(uint8_t(bytes[at + 1]))) continue;
            qsizetype end = at + 1;
            while (end < bytes.size() && std::isdigit(uint8_t(bytes[end]))) ++end;
            bytes.replace(at + 1, end - at - 1, numbers[random() % std::size(numbers)]);
            continue;
        }
        }
        bytes = lines.join('\n');
    }
    return bytes;
}

bool SameMarks(const std::vector<DefectMark>& a, const std::vector<DefectMark>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const DefectMark& m, const DefectMark& n) {
        return m.number == n.number && m.type == n.type && m.x == n.x && m.y == n.y;
    });
}

// Every mark inside the panel and of a number of its own.
bool MarksFit(const DefectRecord& r) {
    std::set<int> numbers;
    return std::all_of(r.marks.begin(), r.marks.end(), [&](const DefectMark& m) {
        return m.x >= 1 && m.y >= 1 && m.x <= r.mode.width() && m.y <= r.mode.height() && numbers.insert(m.number).second;
    });
}

TEST(InspectionJournal, DamagedJournalsAndRecordsAreReplayedSafelyAndEveryLossIsTold) {
    std::mt19937 random(20261208);
    const auto [journal, marks] = RandomJournal(random);
    const QString base = SessionFacts().baseName();
    int replayed = 0, recovered = 0;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray damaged = Damage(journal, random);
        DefectRecord r;
        QStringList losses;
        QString error;
        if (ReplayJournal(damaged, &r, &losses, &error)) {
            ++replayed;
            ASSERT_TRUE(IsSafePanelSerial(r.panel));
            ASSERT_TRUE(MarksFit(r)) << damaged.toStdString();
            // Silence is right only where the journal is the whole cut at
            // the end of a line: the session may have ended there.
            const bool cleanCut = journal.startsWith(damaged) &&
                                  (damaged.endsWith('\n') || journal.at(damaged.size()) == '\n');
            if (!cleanCut && !SameMarks(r.marks, marks)) {
                ASSERT_FALSE(losses.isEmpty()) << "a loss not told in:\n" << damaged.toStdString();
            }
            RecordSummaryLine(r);
        } else {
            ASSERT_FALSE(error.isEmpty());
        }
        if (i % 400 != 0) continue;
        // Recovery from the directory: whatever it writes lies inside it
        // and is a record --report accepts.
        const QTemporaryDir parent;
        const QString dir = parent.filePath("records");
        ASSERT_TRUE(QDir().mkpath(dir));
        Plant(dir, base + ".journal", damaged);
        const Recovery recovery = RecoverUnfinishedSessions(dir);
        ASSERT_EQ(Entries(parent.path()), QStringList{"records"});
        for (const QString& name : Entries(dir)) ASSERT_TRUE(name.startsWith(base)) << name.toStdString();
        for (const WrittenRecord& w : recovery.written) {
            ++recovered;
            DefectRecord back;
            ASSERT_TRUE(ReadRecordJson(ReadAll(w.files.constLast()), &back, &error)) << error.toStdString();
        }
    }
    EXPECT_GT(replayed, 200) << "too few journals survived their damage to test the replay";
    EXPECT_GT(recovered, 1);

    // Records: damaged, read and judged again; a changed count of faults is
    // told, and no mark lies outside the panel.
    DefectRecord whole;
    QStringList losses;
    QString error;
    ASSERT_TRUE(ReplayJournal(journal, &whole, &losses, &error));
    const QByteArray record = RecordJson(whole);
    const FaultCounts counts = CountFaults(whole.faultMarks());
    int read = 0;
    for (int i = 0; i < 1500; ++i) {
        const QByteArray damaged = Damage(record, random);
        DefectRecord r;
        if (!ReadRecordJson(damaged, &r, &error)) continue;
        ++read;
        ASSERT_TRUE(MarksFit(r));
        const FaultCounts now = CountFaults(r.faultMarks());
        if (now.bright != counts.bright || now.dark != counts.dark || now.subPixel != counts.subPixel ||
            now.lines != counts.lines) {
            ASSERT_FALSE(WrittenVerdictDiscrepancies(r).isEmpty()) << damaged.toStdString();
        }
        RecordSummaryLine(r);
    }
    EXPECT_GT(read, 100);
}

// A serial one character longer than a file name allows.
const std::string kLongSerial(201, 'P');

struct SessionLine {
    std::vector<const char*> args;
    const char* error; // empty: accepted
};

class InspectionCommandLine : public ::testing::TestWithParam<SessionLine> {};

TEST_P(InspectionCommandLine, AcceptsOrNamesWhatIsWrong) {
    QStringList list{QStringLiteral("vantrel")};
    for (const char* a : GetParam().args) list << QString::fromUtf8(a);
    const CommandLine c = ParseCommandLine(list);
    EXPECT_EQ(c.error, QString::fromUtf8(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    Options, InspectionCommandLine,
    ::testing::Values(
        SessionLine{{"--record", "d", "--panel", "QM-1_2.3", "--operator", "A B", "--class", "iv", "--model", "QM27"},
                    ""},
        SessionLine{{"--model", "QM27"}, "--model only applies to --record, --stats and --heatmap"},
        SessionLine{{"--sequence", "1-41, 49,51,64", "--dwell", "2.5"}, ""},
        SessionLine{{"--report", "r.json", "--class", "III"}, ""},
        SessionLine{{"--record", "d"}, "--record needs --panel SERIAL"},
        SessionLine{{"--record", "d", "--control", "dbus"}, ""}, // sessions opened by command
        SessionLine{{"--control", "stdio", "--record", "d", "--panel", "P", "--sequence", "7,1"}, ""},
        SessionLine{{"--control", "tcp"}, "unknown control 'tcp': give dbus or stdio"},
        SessionLine{{"--control", "dbus", "--panel", "P"}, "--panel only applies to --record"},
        SessionLine{{"--list", "--control", "stdio"},
                    "--control cannot be combined with --list, --list-screens, --export or --report"},
        SessionLine{{"--record", "d", "--panel", "a/b"},
                    "panel serial 'a/b' cannot name a file: use letters, digits, '-', '_' and '.', not beginning "
                    "with '.'"},
        SessionLine{{"--record", "d", "--panel", ".hidden"},
                    "panel serial '.hidden' cannot name a file: use letters, digits, '-', '_' and '.', not "
                    "beginning with '.'"},
        SessionLine{{"--panel", "P1"}, "--panel only applies to --record"},
        SessionLine{{"--class", "II"}, "--class only applies to --record and --report"},
        SessionLine{{"--record", "d", "--panel", "P", "--class", "V"},
                    "unknown class 'V': the classes are I, II, III and IV"},
        SessionLine{{"--sequence", "1,,3"}, "sequence '1,,3': malformed pattern '': expected a number N or a range N-M"},
        SessionLine{{"--sequence", "5-2"}, "sequence '5-2': pattern range 5-2 is reversed: write the lower number first"},
        SessionLine{{"--sequence", "0,68"}, "sequence '0,68': pattern 0 is out of range: the patterns are 1 to 67"},
        SessionLine{{"--sequence", "inversion,checker-2,3"}, ""},
        SessionLine{{"--sequence", "gamma,seven"},
                    "sequence 'gamma,seven': unknown pattern 'seven': no pattern has this id and no group this name"},
        SessionLine{{"--dwell", "0"}, "dwell '0' is unusable: give seconds from 0.1 to 3600, e.g. 2.5"},
        SessionLine{{"--export", "x", "--sequence", "1"},
                    "--sequence cannot be combined with --list, --list-screens, --export or --report"},
        SessionLine{{"--report", "r.json", "--list"},
                    "--report cannot be combined with --list, --list-screens, --export, --check or --screen"},
        SessionLine{{"--record", "d", "--panel", kLongSerial.c_str()},
                    "panel serial of 201 characters is too long to name a file: at most 200"},
        SessionLine{{"--record", "d", "--panel", "a\x1b[2Jb"},
                    "panel serial 'a\\x1b[2Jb' cannot name a file: use letters, digits, '-', '_' and '.', not "
                    "beginning with '.'"},
        SessionLine{{"--stats", "--station", "S1", "--model", "QM", "--since", "2026-12-01", "--until", "2026-12-07",
                     "--format", "json", "--store", "postgresql:///lines?host=/run/pg"},
                    ""},
        SessionLine{{"--history", "P1", "--station", "S1"}, "--station only applies to --record, --stats and --heatmap"},
        SessionLine{{"--heatmap", "h.png", "--since", "2026-02-30"},
                    "--since '2026-02-30' is not a day: give YYYY-MM-DD, e.g. 2026-12-07"},
        SessionLine{{"--stats", "--since", "2026-12-08", "--until", "2026-12-07"},
                    "--since 2026-12-08 is after --until 2026-12-07"},
        SessionLine{{"--stats", "--heatmap", "h.png"},
                    "--import, --sync, --history, --stats and --heatmap cannot be combined"},
        SessionLine{{"--sync", "--export", "d"}, "--sync cannot be combined with --export"},
        SessionLine{{"--history", "P1", "--format", "xml"}, "unknown format 'xml': the formats are text, csv and json"},
        SessionLine{{"--sync", "--format", "csv"}, "--format only applies to --history, --stats and --heatmap"},
        SessionLine{{"--store", "x.sqlite"},
                    "--store only applies to --record, --import, --sync, --history, --stats and --heatmap"},
        SessionLine{{"--record", "d", "--panel", "P", "--store", "sqlite:r.sqlite"}, ""}));

TEST(InspectionSequence, LeftButtonAndAutoPlayWalkItAndWrapToItsFirstEntry) {
    auto form = test::PaintOn(64, 48, 7);
    form->Sequence = {7, 49, 49, 2};
    std::vector<int16_t> seen;
    for (int i = 0; i < 5; ++i) {
        SessionState.PatternIndex = NextPatternIndex(*form, SessionState.PatternIndex);
        seen.push_back(SessionState.PatternIndex);
    }
    EXPECT_EQ(seen, (std::vector<int16_t>{49, 49, 2, 7, 49}));
    form->Sequence.clear();
    EXPECT_EQ(NextPatternIndex(*form, 67), 68); // the standard order, wrapped by the dispatcher
}

TEST(DefectMarkKeys, TellThePointersPixelOnlyWhenOnAndLeaveThePatternAlone) {
    SessionState.ScreenWidthPx = 200;
    SessionState.ScreenHeightPx = 100;
    Background window(QGuiApplication::primaryScreen());
    window.Form_Load();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy marks(&window, &Background::markKey);
    QTest::mouseMove(&window, QPoint(150, 80));
    QTest::keyClick(&window, Qt::Key_2);
    EXPECT_EQ(marks.count(), 0);

    window.setMarkKeysEnabled(true);
    const QImage before = window.form().surface().image().copy();
    for (Qt::Key key : {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_R, Qt::Key_C, Qt::Key_Backspace, Qt::Key_A})
        QTest::keyClick(&window, key);
    ASSERT_EQ(marks.count(), 6);
    EXPECT_EQ(marks.at(1).at(0).toInt(), int(Qt::Key_2));
    EXPECT_EQ(marks.at(1).at(1).toPoint(), QPoint(150, 80));

    window.showMarkNote(QStringLiteral("#1 dark pixel ( 151 , 81 )"), QPoint(150, 80));
    EXPECT_TRUE(window.markNote().isVisible());
    EXPECT_FALSE(window.markNote().geometry().contains(QPoint(150, 80)));
    // A mark the journal could not keep: a warning in a box of its own
    // colour, off the pixel, never taken for an acknowledgement.
    window.showRecordWarning(QStringLiteral("NOT RECORDED"), QPoint(150, 80));
    ASSERT_TRUE(window.recordWarning().isVisible());
    EXPECT_FALSE(window.recordWarning().geometry().contains(QPoint(150, 80)));
    const QImage warning = window.recordWarning().grab().toImage();
    EXPECT_GT(test::Count(warning, warning.rect(), [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 60 && qBlue(c) < 60; }),
              warning.width() * warning.height() / 3);
    EXPECT_EQ(test::FirstDifference(window.form().surface().image(), before), "");
    window.close();
}

} // namespace
