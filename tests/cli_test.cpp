// The command line: option parsing and its errors, the pattern listing,
// the export (its files, its all-or-nothing writing, and pictures equal
// pixel for pixel to what the pattern window's own surface holds), the
// contact sheet, and the choice of screen on a two-screen display.

#include "cli/command_line.h"
#include "cli/contact_sheet.h"
#include "cli/encoder_pool.h"
#include "cli/pattern_export.h"
#include "cli/platform_setup.h"
#include "cli/png_encoding.h"
#include "cli/screen_choice.h"
#include "exit_status.h"
#include "program.h"
#include "screens/display_probe.h"
#include "screens/farewell_window.h"
#include "screens/splash_window.h"
#include "session/dispatcher.h"
#include "session/numeric.h"
#include "session/pattern_window.h"
#include "session/render_pattern.h"
#include "session/screen_metrics.h"
#include "session/session_state.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

CommandLine Parse(std::initializer_list<const char*> args) {
    QStringList list{QStringLiteral("vantrel")};
    for (const char* a : args) list << QString::fromUtf8(a);
    return ParseCommandLine(list);
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

using test::FirstDifference;

// Runs `ExportCommand` for the arguments on `screen` (none: no display),
// with its stderr in `*err`; returns the exit status.
int Export(std::initializer_list<const char*> args, std::string* err, const QScreen* screen = nullptr) {
    const CommandLine c = Parse(args);
    EXPECT_EQ(c.action, CommandLine::Action::Export) << c.error.toStdString();
    ::testing::internal::CaptureStderr();
    const int status = ExportCommand(c, screen);
    *err = ::testing::internal::GetCapturedStderr();
    return status;
}

// ---------------------------------------------------------------------
// Parsing

struct GoodLine {
    std::vector<const char*> args;
    CommandLine::Action action;
    QString screen;
    QString dir;
    QSize size;
    int first, last;
    QString qtPlatform = {}; // Qt's -platform, left for Qt
    bool quiet = false;
};

class CliAcceptedCommandLine : public ::testing::TestWithParam<GoodLine> {};

TEST_P(CliAcceptedCommandLine, GivesTheActionAndItsValues) {
    const GoodLine& g = GetParam();
    QStringList list{QStringLiteral("vantrel")};
    for (const char* a : g.args) list << QString::fromUtf8(a);
    const CommandLine c = ParseCommandLine(list);
    EXPECT_EQ(c.error, QString());
    EXPECT_EQ(c.action, g.action);
    EXPECT_EQ(c.screen, g.screen);
    EXPECT_EQ(c.exportDir, g.dir);
    EXPECT_EQ(c.size, g.size);
    EXPECT_EQ(c.firstPattern, g.first);
    EXPECT_EQ(c.lastPattern, g.last);
    EXPECT_EQ(c.qtPlatform, g.qtPlatform);
    EXPECT_EQ(c.quiet, g.quiet);
}

using A = CommandLine::Action;
INSTANTIATE_TEST_SUITE_P(
    Lines, CliAcceptedCommandLine,
    ::testing::Values(
        GoodLine{{}, A::Run, {}, {}, {}, 1, 67},
        GoodLine{{"--screen", "1"}, A::Run, "1", {}, {}, 1, 67},
        GoodLine{{"--screen=HDMI-2"}, A::Run, "HDMI-2", {}, {}, 1, 67},
        GoodLine{{"--help"}, A::Help, {}, {}, {}, 1, 67},
        GoodLine{{"-h", "--list"}, A::Help, {}, {}, {}, 1, 67},
        GoodLine{{"--version"}, A::Version, {}, {}, {}, 1, 67},
        GoodLine{{"-v"}, A::Version, {}, {}, {}, 1, 67},
        GoodLine{{"--list"}, A::List, {}, {}, {}, 1, 67},
        GoodLine{{"-list"}, A::List, {}, {}, {}, 1, 67},
        GoodLine{{"--list-screens"}, A::ListScreens, {}, {}, {}, 1, 67},
        GoodLine{{"--export", "out"}, A::Export, {}, "out", {}, 1, 67},
        GoodLine{{"--export", "out", "--size", "3840x2160"}, A::Export, {}, "out", QSize(3840, 2160), 1, 67},
        GoodLine{{"--export=o d", "--size=1X1", "--pattern=7"}, A::Export, {}, "o d", QSize(1, 1), 7, 7},
        GoodLine{{"--pattern", "42-45", "--export", "x", "--screen", "0"}, A::Export, "0", "x", {}, 42, 45},
        GoodLine{{"--export", "x", "--size", "32767x32767", "--pattern", "1-67"}, A::Export, {}, "x",
                 QSize(32767, 32767), 1, 67},
        GoodLine{{"--export", "x", "--pattern", "067"}, A::Export, {}, "x", {}, 67, 67},
        // Qt's own options and their values are left for Qt.
        GoodLine{{"-platform", "offscreen", "--export", "x", "--size", "8x8", "--quiet"}, A::Export, {}, "x",
                 QSize(8, 8), 1, 67, "offscreen", true},
        GoodLine{{"--platform", "xcb", "-display", ":1", "-style=fusion", "--style", "x", "-reverse", "-nograb"},
                 A::Run, {}, {}, {}, 1, 67, "xcb"},
        GoodLine{{"-qwindowtitle", "--list", "-geometry", "9x9", "-widgetcount", "--export", "x"}, A::Export, {},
                 "x", {}, 1, 67},
        GoodLine{{"--list", "--all"}, A::List, {}, {}, {}, 1, 67},
        GoodLine{{"--export", "x", "--pattern", "101"}, A::Export, {}, "x", {}, 1, 67},
        GoodLine{{"--check"}, A::Check, {}, {}, {}, 1, 67},
        GoodLine{{"--check", "--screen", "2"}, A::Check, "2", {}, {}, 1, 67}));

struct BadLine {
    std::vector<const char*> args;
    const char* message; // the whole error line
};

class CliRejectedCommandLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(CliRejectedCommandLine, NamesWhatIsWrong) {
    const BadLine& b = GetParam();
    QStringList list{QStringLiteral("vantrel")};
    for (const char* a : b.args) list << QString::fromUtf8(a);
    const CommandLine c = ParseCommandLine(list);
    EXPECT_EQ(c.action, A::Error);
    EXPECT_EQ(c.error, QString::fromUtf8(b.message));
    EXPECT_FALSE(c.error.contains(QLatin1Char('\n')));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CliRejectedCommandLine,
    ::testing::Values(
        BadLine{{"--frobnicate"}, "unknown option '--frobnicate'"},
        BadLine{{"-q"}, "unknown option '-q'"},
        BadLine{{"--export", "d", "--colour=red"}, "unknown option '--colour'"},
        BadLine{{"stray"}, "unexpected argument 'stray'"},
        BadLine{{"--export"}, "missing value after '--export'"},
        BadLine{{"--export", ""}, "--export needs a directory"},
        BadLine{{"--screen", " "}, "--screen needs a screen's index or name"},
        BadLine{{"--size", "10x10"}, "--size only applies to --export"},
        BadLine{{"--pattern", "3"}, "--pattern only applies to --export"},
        BadLine{{"--list", "--export", "d"}, "--list, --list-screens and --export cannot be combined"},
        BadLine{{"--list", "--list-screens"}, "--list, --list-screens and --export cannot be combined"},
        BadLine{{"--check", "--export", "d"}, "--check cannot be combined with --list, --list-screens or --export"},
        BadLine{{"--list-screens", "--check"}, "--check cannot be combined with --list, --list-screens or --export"},
        BadLine{{"--check", "--size", "8x8"}, "--size only applies to --export"},
        BadLine{{"--speed", "0"}, "speed '0' is unusable: give whole pixels per frame from 1 to 64"},
        BadLine{{"--speed", "65"}, "speed '65' is unusable: give whole pixels per frame from 1 to 64"},
        BadLine{{"--speed", "2.5"}, "speed '2.5' is unusable: give whole pixels per frame from 1 to 64"},
        BadLine{{"--frame-log", ""}, "--frame-log needs a file"},
        BadLine{{"--frame-log", "a", "--frame-log", "b"}, "--frame-log is given more than once"},
        BadLine{{"--frame-log", "f", "--check"},
                "--frame-log cannot be combined with --list, --list-screens, --export or --report"},
        BadLine{{"--export", "d", "--speed", "8"},
                "--speed cannot be combined with --list, --list-screens, --export or --report"},
        BadLine{{"--export", "d", "--size", "1x1", "--size", "2x2"}, "--size is given more than once"},
        BadLine{{"--export", "d", "--size", "640"}, "malformed size '640': expected WIDTHxHEIGHT in pixels, e.g. 1920x1080"},
        BadLine{{"--export", "d", "--size", "-640x480"},
                "malformed size '-640x480': expected WIDTHxHEIGHT in pixels, e.g. 1920x1080"},
        BadLine{{"--export", "d", "--size", " 640x480"},
                "malformed size ' 640x480': expected WIDTHxHEIGHT in pixels, e.g. 1920x1080"},
        BadLine{{"--export", "d", "--size", "640x"}, "malformed size '640x': expected WIDTHxHEIGHT in pixels, e.g. 1920x1080"},
        BadLine{{"--export", "d", "--size", "640x480x2"},
                "malformed size '640x480x2': expected WIDTHxHEIGHT in pixels, e.g. 1920x1080"},
        BadLine{{"--export", "d", "--size", "0x480"}, "size 0x480 is out of range: width and height must be 1 to 32767 pixels"},
        BadLine{{"--export", "d", "--size", "640x0"}, "size 640x0 is out of range: width and height must be 1 to 32767 pixels"},
        BadLine{{"--export", "d", "--size", "10x32768"},
                "size 10x32768 is out of range: width and height must be 1 to 32767 pixels"},
        BadLine{{"--export", "d", "--size", "32768x10"},
                "size 32768x10 is out of range: width and height must be 1 to 32767 pixels"},
        BadLine{{"--export", "d", "--size", "10x99999999999999999999"},
                "size 10x99999999999999999999 is out of range: width and height must be 1 to 32767 pixels"},
        BadLine{{"--export", "d", "--pattern", "0"}, "pattern 0 is out of range: the patterns are 1 to 67"},
        BadLine{{"--export", "d", "--pattern", "68"}, "pattern 68 is out of range: the patterns are 1 to 67"},
        BadLine{{"--export", "d", "--pattern", "60-68"}, "pattern 60-68 is out of range: the patterns are 1 to 67"},
        BadLine{{"--export", "d", "--pattern", "9-3"}, "pattern range 9-3 is reversed: write the lower number first"},
        BadLine{{"--export", "d", "--pattern", "3-"}, "malformed pattern '3-': expected a number N or a range N-M"},
        BadLine{{"--export", "d", "--pattern", "-3"}, "malformed pattern '-3': expected a number N or a range N-M"},
        BadLine{{"--export", "d", "--pattern", "seven"},
                "malformed pattern 'seven': expected a number N or a range N-M"},
        BadLine{{"--all"}, "--all only applies to --list"},
        BadLine{{"--export", "d", "--pattern", "128"},
                "pattern 128 is out of range: the extended and motion patterns are 101 to 127"},
        BadLine{{"--export", "d", "--pattern", "3,seven"},
                "unknown pattern 'seven': no pattern has this id and no group this name"},
        BadLine{{"--export", "d", "--pattern", "gama"}, "malformed pattern 'gama': expected a number N or a range N-M"},
        BadLine{{"--list", "-platform"}, "missing value after '-platform'"},
        BadLine{{"-qwindowgeometry=1x1"}, "unknown option '-qwindowgeometry'"},
        BadLine{{"--", "-reverse"}, "unexpected argument '-reverse'"}));

TEST(CliCommandLine, OnlyTheWindowsTheScreenListAndAnExportWithoutSizeNeedADisplay) {
    EXPECT_TRUE(Parse({}).needsDisplay());
    EXPECT_TRUE(Parse({"--list-screens"}).needsDisplay());
    EXPECT_TRUE(Parse({"--check"}).needsDisplay());
    EXPECT_TRUE(Parse({"--export", "d"}).needsDisplay());
    EXPECT_FALSE(Parse({"--export", "d", "--size", "8x8"}).needsDisplay());
    EXPECT_FALSE(Parse({"--list"}).needsDisplay());
    EXPECT_FALSE(Parse({"--version"}).needsDisplay());
    EXPECT_FALSE(Parse({"--help"}).needsDisplay());
    EXPECT_FALSE(Parse({"--bogus"}).needsDisplay());
}

TEST(CliCommandLine, AFrameLogOrASpeedStartsThePresentationClock) {
    EXPECT_FALSE(Parse({}).wantsPresentationClock());
    EXPECT_FALSE(Parse({"--sequence", "1,7", "--dwell", "2"}).wantsPresentationClock());
    EXPECT_TRUE(Parse({"--sequence", "1,motion-block"}).wantsPresentationClock()) << "a frame-paced pattern";
    const CommandLine logged = Parse({"--frame-log", "f.csv"});
    EXPECT_EQ(logged.frameLog, QStringLiteral("f.csv"));
    EXPECT_TRUE(logged.wantsPresentationClock());
    const CommandLine fast = Parse({"--speed", "64"});
    EXPECT_EQ(fast.speed, 64);
    EXPECT_TRUE(fast.wantsPresentationClock());
    EXPECT_EQ(Parse({}).speed, 8);
}

TEST(CliCommandLine, HelpNamesEveryOptionAndVersionIsOneLine) {
    const QString help = HelpText();
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: vantrel [options]\n")));
    for (const char* option : {"--help", "--version", "--list", "--list-screens", "--screen <N|NAME>",
                               "--export <DIR>", "--size <WxH>", "--pattern <N|N-M>", "--quiet", "--frame-log <FILE>",
                               "--speed <PIXELS>"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(option))) << option;
    EXPECT_EQ(VersionLine(), QStringLiteral("Vantrel " VANTREL_VERSION));
}

TEST(CliCommandLine, ListingHasEveryPatternOfTheDispatcherTableInOrder) {
    const QStringList lines = PatternListing();
    ASSERT_EQ(lines.size(), kPatternCount);
    for (int n = 1; n <= kPatternCount; ++n) {
        const PatternInfo* info = FindPattern(static_cast<int16_t>(n));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(lines[n - 1], QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(info->name)));
    }
}

TEST(CliCommandLine, ListingOfAllAddsEachExtendedPatternAsNumberAndId) {
    const QStringList classic = PatternListing();
    const QStringList all = PatternListing(true);
    ASSERT_EQ(all.size(), AllPatterns().size());
    EXPECT_EQ(all.mid(0, classic.size()), classic);
    EXPECT_EQ(all[classic.size()], QStringLiteral("101 inversion-dot-a"));
    EXPECT_EQ(all.last(), QStringLiteral("127 response-toggle"));
}

// ---------------------------------------------------------------------
// Export

TEST(CliExport, WritesTheRequestedPatternsAndAContactSheetAndNothingElse) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dir = tmp.filePath(QStringLiteral("new/deeper"));
    PatternExport exporter(dir);
    QString error;
    ASSERT_TRUE(exporter.open(&error)) << error.toStdString();
    ASSERT_TRUE(exporter.run(QSize(160, 90), 96.0, 56, 59, &error)) << error.toStdString();
    const QStringList want{QStringLiteral("contact-sheet.png"), QStringLiteral("pattern-56.png"),
                           QStringLiteral("pattern-57.png"), QStringLiteral("pattern-58.png"),
                           QStringLiteral("pattern-59.png")};
    EXPECT_EQ(Entries(dir), want);
    for (int n = 56; n <= 59; ++n) {
        const QImage saved(QDir(dir).filePath(PatternFileName(static_cast<int16_t>(n))));
        EXPECT_EQ(saved.size(), QSize(160, 90)) << n;
        EXPECT_EQ(FirstDifference(saved, RenderPattern(static_cast<int16_t>(n), QSize(160, 90))), "") << n;
    }
    EXPECT_FALSE(QImage(QDir(dir).filePath(ContactSheetFileName())).isNull());
}

TEST(CliExport, RenderingDoesNotDependOnWhatWasRenderedBefore) {
    const QImage alone = RenderPattern(64, QSize(400, 300));
    for (int n = 1; n <= kPatternCount; ++n) (void)RenderPattern(static_cast<int16_t>(n), QSize(400, 300));
    EXPECT_EQ(FirstDifference(RenderPattern(64, QSize(400, 300)), alone), "");
}

TEST(CliExport, CrosshairIsTheStateBeforeAnyMousePress) {
    SessionState.MouseX = 300.0f; // left over from elsewhere
    SessionState.MouseY = 200.0f;
    const QImage picture = RenderPattern(65, QSize(640, 480));
    EXPECT_EQ(SessionState.MouseX, 0.0f);
    EXPECT_EQ(SessionState.MouseY, 0.0f);
    // The lines lie at -1, off the picture: it is all black.
    QImage black(QSize(640, 480), QImage::Format_RGB32);
    black.fill(Qt::black);
    EXPECT_EQ(FirstDifference(picture, black), "");
}

TEST(CliExport, ADirectoryThatCannotBeCreatedIsReportedAndNothingIsMade) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QFile file(tmp.filePath(QStringLiteral("plain-file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    QString error;
    {
        PatternExport under(tmp.filePath(QStringLiteral("plain-file/sub")));
        EXPECT_FALSE(under.open(&error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("cannot create directory '"))) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("plain-file/sub"))) << error.toStdString();
    }
    {
        PatternExport onFile(tmp.filePath(QStringLiteral("plain-file")));
        EXPECT_FALSE(onFile.open(&error));
        EXPECT_TRUE(error.endsWith(QStringLiteral("plain-file' is not a directory"))) << error.toStdString();
    }
    EXPECT_EQ(Entries(tmp.path()), QStringList{QStringLiteral("plain-file")});
}

TEST(CliExport, ARunTimeErrorLeavesTheTargetAsItWas) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // An older export stays untouched...
    QFile old(tmp.filePath(QStringLiteral("pattern-01.png")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older file");
    old.close();
    {
        PatternExport exporter(tmp.path());
        QString error;
        ASSERT_TRUE(exporter.open(&error));
        // The colour bars' 16-bit band arithmetic overflows at this width.
        EXPECT_THROW(exporter.run(QSize(32764, 10), 96.0, 1, 3, &error), numeric::RuntimeError);
        EXPECT_EQ(exporter.currentPattern(), 2);
    }
    EXPECT_EQ(Entries(tmp.path()), QStringList{QStringLiteral("pattern-01.png")});
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("older file"));
    old.close();

    // ...and a directory the failed export created is removed again.
    const QString fresh = tmp.filePath(QStringLiteral("a/b"));
    {
        PatternExport exporter(fresh);
        QString error;
        ASSERT_TRUE(exporter.open(&error));
        EXPECT_TRUE(QFileInfo(fresh).isDir());
        EXPECT_THROW(exporter.run(QSize(32764, 10), 96.0, 2, 2, &error), numeric::RuntimeError);
    }
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral("a"))));
}

TEST(CliExport, ASuccessfulExportReplacesOlderFiles) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QFile old(tmp.filePath(QStringLiteral("pattern-04.png")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older file");
    old.close();
    PatternExport exporter(tmp.path());
    QString error;
    ASSERT_TRUE(exporter.open(&error));
    ASSERT_TRUE(exporter.run(QSize(8, 6), 96.0, 4, 4, &error)) << error.toStdString();
    const QImage red(tmp.filePath(QStringLiteral("pattern-04.png")));
    ASSERT_EQ(red.size(), QSize(8, 6));
    EXPECT_EQ(red.pixel(7, 5) & 0xffffffu, 0xff0000u);
    EXPECT_EQ(exporter.written(), (QStringList{QStringLiteral("pattern-04.png"), QStringLiteral("contact-sheet.png")}));
}

TEST(CliExport, OneExportAtATimePerDirectoryAndWhatAKilledOneLeftIsRemoved) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // A staging directory of an export killed before, with a picture in it.
    const QString left = tmp.filePath(QStringLiteral(".vantrel-export-Ab12Cd"));
    ASSERT_TRUE(QDir().mkpath(left));
    QFile part(QDir(left).filePath(QStringLiteral("pattern-01.png")));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.close();

    QString error;
    auto first = std::make_unique<PatternExport>(tmp.path());
    ASSERT_TRUE(first->open(&error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(left));
    const QStringList running = Entries(tmp.path());
    ASSERT_EQ(running.size(), 2) << running.join(QLatin1Char(' ')).toStdString(); // the lock and its staging
    EXPECT_TRUE(running.contains(ExportLockFileName()));

    // A second export into the same directory is refused and leaves the
    // first one's staging alone.
    {
        PatternExport second(tmp.path());
        EXPECT_FALSE(second.open(&error));
        EXPECT_EQ(error, QStringLiteral("another export into '%1' is running; try again when it has finished")
                             .arg(tmp.path()));
    }
    EXPECT_EQ(Entries(tmp.path()), running);
    ASSERT_TRUE(first->run(QSize(8, 6), 96.0, 2, 2, &error)) << error.toStdString();
    first.reset();
    EXPECT_EQ(Entries(tmp.path()), (QStringList{ContactSheetFileName(), PatternFileName(2)}));
    PatternExport next(tmp.path());
    EXPECT_TRUE(next.open(&error)) << error.toStdString();
}

TEST(CliExport, PicturesInFlightAreBoundedByTheirBytesNotByTheCores) {
    const struct {
        QSize size;
        int encoders, inFlight;
    } cases[] = {
        {{1920, 1080}, 4, 8},    {{1920, 1080}, 64, 128},  // 8.3 MB: two for each encoder
        {{7680, 4320}, 2, 4},    {{7680, 4320}, 64, 7},    // 133 MB: 7 and the one painted fit 1 GiB
        {{16384, 16384}, 64, 1}, {{32767, 32767}, 64, 1},  // 1 GiB and 4.3 GB: one, however large
        {{1, 1}, 1, 2},          {{32767, 1}, 0, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PicturesInFlight(c.size, c.encoders), c.inFlight) << c.size.width() << "x" << c.size.height();
}

TEST(CliExport, EachDistinctPictureIsEncodedOnceAndWrittenForEveryPatternShowingIt) {
    const QSize size(64, 48);
    std::vector<QImage> pictures;
    int distinct = 0;
    for (int n = 1; n <= kPatternCount; ++n) {
        pictures.push_back(RenderPattern(static_cast<int16_t>(n), size));
        distinct += std::none_of(pictures.begin(), pictures.end() - 1,
                                 [&](const QImage& p) { return p == pictures.back(); });
    }
    ASSERT_LT(distinct, kPatternCount - 10); // black alone is shown a dozen times
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    PatternExport exporter(tmp.path());
    QString error;
    ASSERT_TRUE(exporter.open(&error));
    ASSERT_TRUE(exporter.run(size, 96.0, 1, kPatternCount, &error)) << error.toStdString();
    EXPECT_EQ(exporter.encodedPictures(), distinct + 1); // and the contact sheet
    auto bytes = [&tmp](int n) {
        QFile f(QDir(tmp.path()).filePath(PatternFileName(static_cast<int16_t>(n))));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    for (int n = 1; n <= kPatternCount; ++n) {
        EXPECT_EQ(FirstDifference(QImage(QDir(tmp.path()).filePath(PatternFileName(static_cast<int16_t>(n)))),
                                  pictures[static_cast<size_t>(n - 1)]),
                  "")
            << "pattern " << n;
    }
    for (const int n : {8, 14, 20, 26, 41, 48, 50, 52, 54, 58, 63}) EXPECT_EQ(bytes(n), bytes(1)) << n;
}

TEST(CliExport, PngFilesGiveBackEveryPixelWhateverTheNumberOfColours) {
    // One colour, two, three, 256 and 257 (one too many for a palette);
    // the new ones start at the left end of the second row.
    struct Case {
        int colours;
        QImage::Format palette;
    };
    for (const Case k : {Case{1, QImage::Format_Mono}, Case{2, QImage::Format_Mono}, Case{3, QImage::Format_Indexed8},
                         Case{256, QImage::Format_Indexed8}, Case{257, QImage::Format_Invalid}}) {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(0x123456u);
        for (int i = 1; i < k.colours; ++i)
            picture.setPixel((i - 1) % 40, (i - 1) / 40 + 1, qRgb(i & 255, i >> 8, 7));
        EXPECT_EQ(PalettePicture(picture).format(), k.palette) << k.colours;
        QByteArray png;
        QString error;
        ASSERT_TRUE(EncodePng(picture, &png, &error)) << error.toStdString();
        EXPECT_EQ(FirstDifference(QImage::fromData(png, "png"), picture), "") << k.colours << " colours";
    }
}

TEST(CliExport, CommandEndsWithTheStatusOfWhatWentWrong) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    std::string err;
    // A directory that cannot be made or written: status 1.
    EXPECT_EQ(Export({"--export", "/proc/vantrel-export-test/out", "--size", "64x48"}, &err), kFailureExitStatus);
    EXPECT_EQ(err.rfind("vantrel: cannot create directory '/proc/vantrel-export-test/out'", 0), 0u) << err;
    EXPECT_EQ(Export({"--export", "/proc", "--size", "64x48"}, &err), kFailureExitStatus);
    EXPECT_EQ(err.rfind("vantrel: cannot write into directory '/proc'", 0), 0u) << err;
    // A painter's run-time error: status 3, the pattern and size named, nothing left.
    const QByteArray fresh = tmp.filePath(QStringLiteral("overflow/new")).toUtf8();
    EXPECT_EQ(Export({"--export", fresh.constData(), "--size", "32764x10"}, &err), kRuntimeErrorExitStatus);
    EXPECT_EQ(err, "vantrel: run-time error 6: Overflow, painting pattern 2 at 32764x10; nothing was written\n");
    EXPECT_EQ(Entries(tmp.path()), QStringList());
    // Done: status 0, nothing said.
    const QByteArray done = tmp.filePath(QStringLiteral("done")).toUtf8();
    EXPECT_EQ(Export({"--export", done.constData(), "--size", "64x48", "--pattern", "3-4"}, &err), kSuccessExitStatus);
    EXPECT_EQ(err, "");
    EXPECT_EQ(Entries(QString::fromUtf8(done)), (QStringList{QStringLiteral("contact-sheet.png"),
                                                             QStringLiteral("pattern-03.png"),
                                                             QStringLiteral("pattern-04.png")}));
}

TEST(CliExport, AListExportsEachNamedPatternOnceAndTheSheetShowsThem) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    std::string err;
    ASSERT_EQ(Export({"--export", tmp.path().toUtf8().constData(), "--size", "64x48", "--pattern",
                      "checker-2,3,gamma,3,123"},
                     &err),
              kSuccessExitStatus)
        << err;
    EXPECT_EQ(Entries(tmp.path()), (QStringList{QStringLiteral("contact-sheet.png"), QStringLiteral("pattern-03.png"),
                                                QStringLiteral("pattern-112.png"), QStringLiteral("pattern-123.png")}));
    for (const int16_t n : {3, 112, 123})
        EXPECT_EQ(FirstDifference(QImage(QDir(tmp.path()).filePath(PatternFileName(n))), RenderPattern(n, {64, 48})), "")
            << n;
    ContactSheet three(QSize(64, 48));
    for (int i = 0; i < 3; ++i) three.add(static_cast<int16_t>(i), QString(), RenderPattern(1, QSize(64, 48)));
    EXPECT_EQ(QImage(QDir(tmp.path()).filePath(ContactSheetFileName())).size(), three.render().size());
}

// Whether a display is there to open, from the environment alone.
TEST(CliPlatform, DisplayIsAvailableOnlyWhenThePlatformHasWhatItNeeds) {
    const struct {
        const char *display, *wayland, *platform;
        bool available;
    } cases[] = {
        {"", "", "", false},          {":0", "", "", true},         {"", "wayland-0", "", true},
        {"", "", "xcb", false},       {":0", "", "xcb", true},       {":0", "", "wayland", false},
        {"", "", "offscreen", true},  {"", "", "xcb;offscreen", true}, {"", "", "  ", false},
    };
    const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::vector<std::optional<QByteArray>> saved;
    for (const char* name : names)
        saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    for (const auto& c : cases) {
        qputenv("DISPLAY", c.display);
        qputenv("WAYLAND_DISPLAY", c.wayland);
        qputenv("QT_QPA_PLATFORM", c.platform);
        EXPECT_EQ(DisplayAvailable(), c.available)
            << "DISPLAY='" << c.display << "' WAYLAND_DISPLAY='" << c.wayland << "' QT_QPA_PLATFORM='" << c.platform << "'";
    }
    for (size_t i = 0; i < saved.size(); ++i) {
        if (saved[i]) qputenv(names[i], *saved[i]);
        else qunsetenv(names[i]);
    }
}

// ---------------------------------------------------------------------
// Contact sheet

TEST(CliContactSheet, ShowsEachPatternInItsOwnCellInReadingOrder) {
    const QSize size(320, 240);
    ContactSheet sheet(size);
    std::vector<QRgb> centres;
    for (int n = 1; n <= kPatternCount; ++n) {
        const QImage picture = RenderPattern(static_cast<int16_t>(n), size);
        centres.push_back(picture.pixel(size.width() / 2, size.height() / 2) & 0xffffffu);
        sheet.add(static_cast<int16_t>(n), QString::fromUtf8(FindPattern(static_cast<int16_t>(n))->name), picture);
    }
    EXPECT_EQ(sheet.thumbnailSize(), QSize(200, 150));
    const QImage rendered = sheet.render();
    QRect previous;
    for (int i = 0; i < kPatternCount; ++i) {
        const QRect r = sheet.thumbnailRect(i);
        ASSERT_TRUE(rendered.rect().contains(r)) << i;
        if (i > 0) {
            EXPECT_FALSE(r.intersects(previous)) << i;
            // Reading order: right of the previous one, or on a lower row.
            EXPECT_TRUE(r.top() > previous.bottom() || (r.top() == previous.top() && r.left() > previous.right()))
                << i;
        }
        previous = r;
        const QRgb c = rendered.pixel(r.center()) & 0xffffffu;
        // A solid field is one colour, which a smooth thumbnail keeps.
        if (FindPattern(static_cast<int16_t>(i + 1))->still == FindPattern(1)->still) {
            EXPECT_EQ(c, centres[static_cast<size_t>(i)]) << "pattern " << i + 1;
        }
    }
    // The sheet is wider than tall and not too large to look at.
    EXPECT_GT(rendered.width(), rendered.height());
    EXPECT_LT(rendered.width(), 2400);
}

TEST(CliContactSheet, ExtremeShapesStillGiveVisibleThumbnails) {
    for (const QSize size : {QSize(32767, 1), QSize(1, 32767), QSize(1, 1)}) {
        ContactSheet sheet(size);
        EXPECT_GE(sheet.thumbnailSize().width(), 4);
        EXPECT_GE(sheet.thumbnailSize().height(), 4);
        EXPECT_LE(sheet.thumbnailSize().width(), ContactSheet::kThumbnailBox);
        EXPECT_LE(sheet.thumbnailSize().height(), ContactSheet::kThumbnailBox);
        QImage white(QSize(std::min(size.width(), 64), std::min(size.height(), 64)), QImage::Format_RGB32);
        white.fill(Qt::white);
        sheet.add(1, QStringLiteral("white"), white);
        const QImage rendered = sheet.render();
        EXPECT_LT(rendered.width() * rendered.height(), 1000 * 1000);
        EXPECT_EQ(rendered.pixel(sheet.thumbnailRect(0).center()) & 0xffffffu, 0xffffffu);
    }
}

} // namespace

// ---------------------------------------------------------------------
// On a display of two screens: S1, 1024x768 (primary), and S2, 1366x768.

namespace {

// Every pattern, rendered by the export and by the pattern window's own
// surface on `screen`, must be the same picture.
void ExpectExportEqualsTheWindowOn(QScreen* screen) {
    ASSERT_NE(screen, nullptr);
    const QSize size = DeviceSize(screen);

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    {
        PatternExport exporter(tmp.path());
        QString error;
        ASSERT_TRUE(exporter.open(&error));
        ASSERT_TRUE(exporter.run(size, screen->logicalDotsPerInch(), 1, kPatternCount, &error))
            << error.toStdString();
    }

    // The window as start-up leaves it, in a state the export has not
    // touched: probe, load, then each pattern.
    ResetSessionState();
    Program program(screen);
    ProbeDisplay(screen);
    ASSERT_EQ(SessionState.ScreenWidthPx, size.width());
    ASSERT_EQ(SessionState.ScreenHeightPx, size.height());
    Background& bg = program.background();
    bg.Form_Load();
    for (int n = 1; n <= kPatternCount; ++n) {
        SessionState.PatternIndex = static_cast<int16_t>(n);
        PaintPattern(bg.form());
        QImageReader reader(QDir(tmp.path()).filePath(PatternFileName(static_cast<int16_t>(n))));
        const QImage exported = reader.read();
        ASSERT_FALSE(exported.isNull()) << "pattern " << n << ": " << reader.errorString().toStdString();
        EXPECT_EQ(FirstDifference(exported, bg.form().surface().image()), "")
            << "pattern " << n << " at " << size.width() << "x" << size.height();
    }
}

} // namespace

TEST(CliDualScreenExport, EveryPatternAt1024x768EqualsTheWindowsSurface) {
    ExpectExportEqualsTheWindowOn(QGuiApplication::screens().value(0));
}

TEST(CliDualScreenExport, EveryPatternAt1366x768EqualsTheWindowsSurface) {
    ExpectExportEqualsTheWindowOn(QGuiApplication::screens().value(1));
}

TEST(CliDualScreenExport, WithoutSizeTheChosenScreensSizeIsTaken) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray dir = tmp.path().toUtf8();
    std::string err;
    ASSERT_EQ(Export({"--export", dir.constData(), "--screen", "1", "--pattern", "1"}, &err,
                     QGuiApplication::screens().value(1)),
              kSuccessExitStatus)
        << err;
    EXPECT_EQ(QImageReader(tmp.filePath(PatternFileName(1))).size(), QSize(1366, 768));
}

TEST(CliDualScreenChoice, FindsScreensByIndexOrNameAndRejectsOthers) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    QString error;
    EXPECT_EQ(FindScreen(QString(), &error), QGuiApplication::primaryScreen());
    EXPECT_EQ(FindScreen(QStringLiteral("0"), &error), screens[0]);
    EXPECT_EQ(FindScreen(QStringLiteral("1"), &error), screens[1]);
    EXPECT_EQ(FindScreen(QStringLiteral("S2"), &error), screens[1]);
    EXPECT_EQ(FindScreen(QStringLiteral("s2"), &error), screens[1]);
    for (const char* missing : {"2", "-1", "S3", "1.0"}) {
        error.clear();
        EXPECT_EQ(FindScreen(QString::fromUtf8(missing), &error), nullptr) << missing;
        EXPECT_EQ(error, QStringLiteral("no screen '%1': the screens are 0 to 1 (see --list-screens)")
                             .arg(QString::fromUtf8(missing)));
    }
}

TEST(CliDualScreenChoice, ListsEachScreenWithItsDeviceSize) {
    // Qt's offscreen platform asks no display server: 1:1 is unknown.
    const QString unknown = QStringLiteral(
        " Hz  mode unknown  native unknown  scale 100 %  monitor unknown  1:1 unknown (Qt's platform 'offscreen' "
        "has no display server to ask: patterns are drawn at %1, but scaling by the desktop or the monitor cannot "
        "be ruled out.)");
    const QStringList lines = ScreenListing();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("0  S1  1024x768  ratio 1  "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(unknown.arg(QStringLiteral("1024x768")) + QStringLiteral("  primary")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1  S2  1366x768  ratio 1  "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(unknown.arg(QStringLiteral("1366x768")))) << lines[1].toStdString();
}

TEST(CliDualScreenChoice, TheSecondScreenGetsEveryWindowAndTheProbeMeasuresIt) {
    QString error;
    QScreen* second = FindScreen(QStringLiteral("1"), &error);
    ASSERT_NE(second, nullptr);
    Program program(second);
    program.start();
    Welcome& splash = program.welcome();
    EXPECT_EQ(splash.screen(), second);
    EXPECT_TRUE(second->geometry().contains(splash.geometry().center()));
    EXPECT_EQ(SessionState.ScreenWidthPx, 1366);
    EXPECT_EQ(SessionState.ScreenHeightPx, 768);

    splash.close(); // as the operator's click does: opens the pattern window
    ASSERT_TRUE(program.hasBackground());
    Background& bg = program.background();
    EXPECT_TRUE(bg.isVisible());
    EXPECT_EQ(bg.screen(), second);
    EXPECT_EQ(bg.geometry(), second->geometry());
    EXPECT_EQ(bg.form().surface().size(), QSize(1366, 768));

    program.confirmExit();
    ASSERT_TRUE(program.hasFarewell());
    EXPECT_EQ(program.farewell().screen(), second);
    EXPECT_TRUE(second->geometry().contains(program.farewell().geometry().center()));
}
