// Inspection sessions: the pixel-fault verdict on synthetic marks, the
// record's files read back and judged again, a journal left by a session
// that never ended, the command line's session options, the sequence the
// left button walks, and the pattern window's mark keys.

#include <QPushButton> // for the modal answerer of support.h

#include "support.h"

#include "cli/command_line.h"
#include "defects/defect_record.h"
#include "defects/recording_session.h"
#include "defects/pixel_faults.h"
#include "session/pattern_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

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
    {"NeighboursAcrossABlockBoundaryAreNoCluster", 1920, 1080, {{T::Bright, 5, 5}, {T::Dark, 6, 6}}, 2, 2, true},
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

TEST(InspectionJournal, LeftByAKilledSessionIsRecoveredWithItsMarks) {
    const QTemporaryDir dir;
    DefectRecord facts = SampleRecord();
    facts.marks.clear();
    facts.patterns.clear();
    QString journalPath;
    {
        RecordingSession session(facts, dir.path());
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
    QStringList reports, errors;
    RecoverUnfinishedSessions(dir.path(), &reports, &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_FALSE(QFile::exists(journalPath));

    const QStringList records = QDir(dir.path()).entryList({QStringLiteral("*.json")});
    ASSERT_EQ(records.size(), 1);
    QFile json(dir.filePath(records.first()));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    DefectRecord back;
    QString error;
    ASSERT_TRUE(ReadRecordJson(json.readAll(), &back, &error)) << error.toStdString();
    EXPECT_TRUE(back.recovered);
    EXPECT_EQ(back.session.version(), QUuid::Random) << "the recovered record keeps the session's own identity";
    ASSERT_EQ(back.marks.size(), 2u);
    EXPECT_EQ(back.marks[0].type, T::Dark);
    EXPECT_EQ(QPoint(back.marks[0].x, back.marks[0].y), QPoint(120, 45));
    EXPECT_EQ(back.marks[0].patternName, QStringLiteral("green"));
    EXPECT_EQ(back.marks[1].type, T::SubPixel);
    EXPECT_EQ(back.marks[1].number, 2);
    EXPECT_EQ(back.patterns.size(), 1u);
}

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
        SessionLine{{"--model", "QM27"}, "--model only applies to --record"},
        SessionLine{{"--sequence", "1-41, 49,51,64", "--dwell", "2.5"}, ""},
        SessionLine{{"--report", "r.json", "--class", "III"}, ""},
        SessionLine{{"--record", "d"}, "--record needs --panel SERIAL"},
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
                    "--report cannot be combined with --list, --list-screens, --export, --check or --screen"}));

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
    EXPECT_EQ(test::FirstDifference(window.form().surface().image(), before), "");
    window.close();
}

} // namespace
