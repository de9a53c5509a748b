// The extended patterns (101 to 123), each against its definition, pixel
// by pixel, at sizes from a single pixel up; the ids, groups and lists
// that name them; and the keys that walk a sequence of the operator's own.

#include "defects/recording_session.h"
#include "program.h"
#include "screens/display_probe.h"
#include "session/pattern_list.h"
#include "session/pattern_window.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int kLit = 159;

QRgb Grey(int v) { return qRgb(v, v, v); }

// A pixel whose sub-pixel k (0 red, 1 green, 2 blue) is lit where lit(k)
// holds, else dark.
template <typename Lit>
QRgb SubPixels(Lit lit) {
    return qRgb(lit(0) ? kLit : 0, lit(1) ? kLit : 0, lit(2) ? kLit : 0);
}

bool Even(int v) { return v % 2 == 0; }

QRgb Gamma(int x, int y, int w, int h) {
    constexpr int kPatch[] = {174, 180, 186, 191, 195};
    for (int j = 0; j < 5; ++j) {
        const int left = j * w / 5, width = (j + 1) * w / 5 - left;
        if (x < left || x >= left + width) continue;
        if (x >= left + width / 4 && x < left + 3 * width / 4 && y >= h / 3 && y < 2 * h / 3) return Grey(kPatch[j]);
    }
    return Even(y) ? Grey(255) : Grey(0);
}

QRgb LevelBar(int x, int w, QRgb channels) {
    constexpr int kLevels[] = {0, 36, 73, 109, 146, 182, 219, 255};
    return Grey(kLevels[8 * x / w]) & channels;
}

QRgb Uniformity(int x, int y, int w, int h, QRgb field, QRgb outline) {
    const int side = std::max(3, 2 * (std::min(w, h) / 40) + 1);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int cx = w * (2 * i + 1) / 6, cy = h * (2 * j + 1) / 6;
            if (std::max(std::abs(x - cx), std::abs(y - cy)) == (side - 1) / 2) return outline;
        }
    return field;
}

bool InCrosstalkWindow(int x, int y, int w, int h) {
    return x >= w / 4 && x < 3 * w / 4 && y >= h / 4 && y < 3 * h / 4;
}

struct Definition {
    int16_t number;
    const char* id;
    QRgb (*colour)(int x, int y, int w, int h);
};

// The table of the definitions, written from them alone.
const Definition kDefinitions[] = {
    {101, "inversion-dot-a", [](int x, int y, int, int) { return SubPixels([=](int k) { return Even(x + y + k); }); }},
    {102, "inversion-dot-b", [](int x, int y, int, int) { return SubPixels([=](int k) { return !Even(x + y + k); }); }},
    {103, "inversion-column-a", [](int x, int, int, int) { return SubPixels([=](int k) { return Even(x + k); }); }},
    {104, "inversion-column-b", [](int x, int, int, int) { return SubPixels([=](int k) { return !Even(x + k); }); }},
    {105, "inversion-row-a", [](int, int y, int, int) { return Even(y) ? Grey(kLit) : Grey(0); }},
    {106, "inversion-row-b", [](int, int y, int, int) { return Even(y) ? Grey(0) : Grey(kLit); }},
    {107, "inversion-2dot-a",
     [](int x, int y, int, int) { return SubPixels([=](int k) { return Even(x + y / 2 + k); }); }},
    {108, "inversion-2dot-b",
     [](int x, int y, int, int) { return SubPixels([=](int k) { return !Even(x + y / 2 + k); }); }},
    {109, "crosstalk-field", [](int, int, int, int) { return Grey(128); }},
    {110, "crosstalk-white",
     [](int x, int y, int w, int h) { return InCrosstalkWindow(x, y, w, h) ? Grey(255) : Grey(128); }},
    {111, "crosstalk-black",
     [](int x, int y, int w, int h) { return InCrosstalkWindow(x, y, w, h) ? Grey(0) : Grey(128); }},
    {112, "gamma", Gamma},
    {113, "levels-grey", [](int x, int, int w, int) { return LevelBar(x, w, qRgb(255, 255, 255)); }},
    {114, "levels-red", [](int x, int, int w, int) { return LevelBar(x, w, qRgb(255, 0, 0)); }},
    {115, "levels-green", [](int x, int, int w, int) { return LevelBar(x, w, qRgb(0, 255, 0)); }},
    {116, "levels-blue", [](int x, int, int w, int) { return LevelBar(x, w, qRgb(0, 0, 255)); }},
    {117, "cyan", [](int, int, int, int) { return qRgb(0, 255, 255); }},
    {118, "magenta", [](int, int, int, int) { return qRgb(255, 0, 255); }},
    {119, "yellow", [](int, int, int, int) { return qRgb(255, 255, 0); }},
    {120, "uniformity-white", [](int x, int y, int w, int h) { return Uniformity(x, y, w, h, Grey(255), Grey(0)); }},
    {121, "uniformity-grey", [](int x, int y, int w, int h) { return Uniformity(x, y, w, h, Grey(128), Grey(255)); }},
    {122, "checker-1", [](int x, int y, int, int) { return Even(x + y) ? Grey(255) : Grey(0); }},
    {123, "checker-2", [](int x, int y, int, int) { return Even(x / 2 + y / 2) ? Grey(255) : Grey(0); }},
};

void PrintTo(const Definition& d, std::ostream* os) { *os << d.number << " " << d.id; }

class ExtendedPattern : public ::testing::TestWithParam<Definition> {};

TEST_P(ExtendedPattern, IsItsDefinitionPixelForPixelAtEverySize) {
    const Definition& d = GetParam();
    const PatternInfo* row = FindPattern(d.number);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->id, d.id);
    QString error;
    EXPECT_EQ(ResolvePattern(QString::fromLatin1(d.id), &error), d.number) << error.toStdString();
    for (const QSize size : {QSize(1, 1), QSize(7, 5), QSize(641, 479), QSize(1366, 768)}) {
        const int w = size.width(), h = size.height();
        const QImage want = test::Picture(size, [&](int x, int y) { return d.colour(x, y, w, h) & 0xffffffu; });
        EXPECT_EQ(test::FirstDifference(RenderPattern(d.number, size), want), "")
            << d.id << " at " << w << "x" << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Definitions, ExtendedPattern, ::testing::ValuesIn(kDefinitions), [](const auto& info) {
    std::string name = std::to_string(info.param.number) + "_" + info.param.id;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST(ExtendedPatterns, TheDefinitionsCoverEveryRowBeyondTheClassicOnes) {
    // The frame-paced rows after them are checked frame by frame (moving_block_test).
    const auto extended =
        AllPatterns().subspan(PatternTable().size(), kLastExtendedPattern - kFirstExtendedPattern + 1);
    ASSERT_EQ(extended.size(), std::size(kDefinitions));
    for (size_t i = 0; i < extended.size(); ++i) EXPECT_EQ(extended[i].number, kDefinitions[i].number);
    EXPECT_EQ(FindPattern(kFirstExtendedPattern - 1), nullptr);
    EXPECT_EQ(FindPattern(kLastMotionPattern + 1), nullptr);
}

// ---- names and lists -------------------------------------------------------

std::vector<int16_t> Run(int first, int last) {
    std::vector<int16_t> numbers;
    for (int n = first; n <= last; ++n) numbers.push_back(static_cast<int16_t>(n));
    return numbers;
}

std::vector<int16_t> Joined(std::initializer_list<std::vector<int16_t>> parts) {
    std::vector<int16_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct ListCase {
    const char* text;
    std::vector<int16_t> numbers; // when accepted
    const char* error;            // empty when accepted
};

class PatternListParsing : public ::testing::TestWithParam<ListCase> {};

TEST_P(PatternListParsing, GivesTheNumbersInOrderOrNamesTheBadItem) {
    const ListCase& c = GetParam();
    std::vector<int16_t> numbers{99};
    QString error;
    const bool ok = ParsePatternList(QString::fromUtf8(c.text), &numbers, &error);
    EXPECT_EQ(error, QString::fromUtf8(c.error));
    EXPECT_EQ(ok, *c.error == '\0');
    if (ok) {
        EXPECT_EQ(numbers, c.numbers);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PatternListParsing,
    ::testing::Values(
        ListCase{"3,gamma,120-121,checker-2", {3, 112, 120, 121, 123}, ""},
        ListCase{"inversion,checker", Joined({Run(101, 108), Run(122, 123)}), ""},
        ListCase{" Classic-07 , GAMMA,levels", Joined({{7, 112}, Run(113, 116)}), ""},
        ListCase{"crosstalk,cmy,uniformity,cmy", Joined({Run(109, 111), Run(117, 119), {120, 121}, Run(117, 119)}), ""},
        ListCase{"66-103", Joined({{66, 67}, Run(101, 103)}), ""},
        ListCase{"extended", Run(101, 123), ""},
        ListCase{"classic,112", Joined({Run(1, 67), {112}}), ""},
        ListCase{"3,gama", {}, "unknown pattern 'gama': no pattern has this id and no group this name"},
        ListCase{"inversion-dot", {}, "unknown pattern 'inversion-dot': no pattern has this id and no group this name"},
        ListCase{"80", {}, "pattern 80 is out of range: the patterns are 1 to 67"},
        ListCase{"101-128", {}, "pattern 101-128 is out of range: the extended and motion patterns are 101 to 127"},
        ListCase{"motion,motion-block", Joined({Run(124, 127), {126}}), ""},
        ListCase{"110-101", {}, "pattern range 110-101 is reversed: write the lower number first"},
        ListCase{"gamma,", {}, "malformed pattern '': expected a number N or a range N-M"},
        ListCase{"checker_1", {}, "malformed pattern 'checker_1': expected a number N or a range N-M"}));

TEST(PatternNames, OneItemResolvesToOnePatternNumber) {
    const struct {
        const char* item;
        int16_t number;
        const char* error;
    } cases[] = {
        {"112", 112, ""},
        {" gamma ", 112, ""},
        {"classic-07", 7, ""},
        {"classic-67", 67, ""},
        {"Checker-1", 122, ""},
        {"classic-7", 0, "unknown pattern 'classic-7': no pattern has this id and no group this name"},
        {"inversion", 0, "'inversion' is a group of patterns: name one pattern"},
        {"1-3", 0, "'1-3' is a range: name one pattern"},
        {"68", 0, "pattern 68 is out of range: the patterns are 1 to 67"},
        {"", 0, "malformed pattern '': expected a number N or a range N-M"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_EQ(ResolvePattern(QString::fromUtf8(c.item), &error), c.number) << c.item;
        EXPECT_EQ(error, QString::fromUtf8(c.error)) << c.item;
    }
}

// ---- the keys that walk a sequence -----------------------------------------

class StepKeys : public ::testing::Test {
protected:
    void open(std::vector<int16_t> sequence) {
        program_ = std::make_unique<Program>(QGuiApplication::primaryScreen());
        ProbeDisplay(program_->screen());
        program_->setSequence(std::move(sequence), QStringLiteral("1"));
        program_->showBackground();
    }
    Background& bg() { return program_->background(); }
    void key(Qt::Key k) { QTest::keyClick(&bg(), k); }

    std::unique_ptr<Program> program_;
};

TEST_F(StepKeys, WalkTheOperatorsSequenceForwardBackAndToItsStart) {
    open({101, 122, 7});
    ASSERT_TRUE(bg().stepKeysEnabled());
    ASSERT_EQ(SessionState.PatternIndex, 101);
    const struct {
        Qt::Key key;
        int16_t pattern;
    } steps[] = {{Qt::Key_Right, 122}, {Qt::Key_Space, 7},   {Qt::Key_Right, 101}, {Qt::Key_Left, 7},
                 {Qt::Key_Left, 122},  {Qt::Key_Home, 101}, {Qt::Key_Home, 101},  {Qt::Key_Left, 7}};
    const QSize size = bg().form().surface().size();
    for (const auto& s : steps) {
        key(s.key);
        EXPECT_EQ(SessionState.PatternIndex, s.pattern) << "after key " << s.key;
    }
    const QImage shown = bg().form().surface().image().copy();
    EXPECT_EQ(test::FirstDifference(shown, RenderPattern(7, size)), "");
    // The left button goes on from where the keys left the sequence.
    QTest::mouseClick(&bg(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(SessionState.PatternIndex, 101);
}

TEST_F(StepKeys, AreOffWithoutASequenceAndWalkTheClassicOrderInARecordingSession) {
    open({});
    EXPECT_FALSE(bg().stepKeysEnabled());
    for (Qt::Key k : {Qt::Key_Right, Qt::Key_Space, Qt::Key_Left, Qt::Key_Home}) key(k);
    EXPECT_EQ(SessionState.PatternIndex, 1);
    program_.reset();

    const QTemporaryDir dir;
    DefectRecord facts;
    facts.panel = QStringLiteral("QM-KEYS");
    RecordingSession session(facts, dir.path());
    QString error;
    ASSERT_TRUE(session.open(&error)) << error.toStdString();
    program_ = std::make_unique<Program>(QGuiApplication::primaryScreen());
    ProbeDisplay(program_->screen());
    program_->setRecording(&session);
    program_->showBackground();
    EXPECT_TRUE(bg().stepKeysEnabled());
    // The 67 steps, 68 wrapping to 1; a mark key marks and does not step.
    const struct {
        Qt::Key key;
        int16_t pattern;
    } steps[] = {{Qt::Key_Left, 67}, {Qt::Key_Right, 1}, {Qt::Key_Space, 2}, {Qt::Key_Space, 3},
                 {Qt::Key_2, 3},     {Qt::Key_Home, 1}};
    for (const auto& s : steps) {
        key(s.key);
        EXPECT_EQ(SessionState.PatternIndex, s.pattern) << "after key " << s.key;
    }
    std::vector<int> shown;
    for (const PatternShown& p : session.record().patterns) shown.push_back(p.pattern);
    EXPECT_EQ(shown, (std::vector<int>{1, 67, 1, 2, 3, 1}));
    program_.reset();
}

} // namespace
