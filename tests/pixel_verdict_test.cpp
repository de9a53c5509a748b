// The platform layer's portable part: the 1:1 verdict on recorded answers
// of display servers, the EDID parser, and the screen's true size in
// device pixels under Qt's scale factors.

#include "platform/edid.h"
#include "platform/pixel_verdict.h"
#include "platform/screen_facts.h"
#include "platform/window_fit.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#if __has_include(<QtGui/private/qhighdpiscaling_p.h>)
#include <QtGui/private/qhighdpiscaling_p.h>
#include <qpa/qplatformwindow.h>
#define VANTREL_TEST_SCALE_FACTORS 1
#endif

namespace {

QScreen* ScreenNamed(const char* name) {
    for (QScreen* s : QGuiApplication::screens())
        if (s->name() == QLatin1String(name)) return s;
    return nullptr;
}

struct VerdictCase {
    const char* what;
    ScreenFacts facts;
    bool oneToOne;
    bool nativeKnown;
    const char* message; // a part of the operator's line
    bool known = true;   // whether a display server was asked
};

ScreenFacts Facts(FactsSource source, QSize qtLogical, qreal dpr, QSize qtDevice, std::optional<QSize> mode,
                  std::optional<QSize> preferred) {
    ScreenFacts f;
    f.source = source;
    f.qtName = QStringLiteral("OUT-1");
    f.outputName = QStringLiteral("OUT-1");
    f.qtLogicalSize = qtLogical;
    f.qtPixelRatio = dpr;
    f.qtDeviceSize = qtDevice;
    f.currentMode = mode;
    f.preferredMode = preferred;
    return f;
}

std::vector<VerdictCase> VerdictCases() {
    std::vector<VerdictCase> cases;
    // Sway at 125 % on a 2560x1600 output: Qt 6.4 rounds the scale up to 2
    // and draws 4096x2560, the compositor shrinks it.
    ScreenFacts sway125 = Facts(FactsSource::Wayland, {2048, 1280}, 2, {4096, 2560}, QSize(2560, 1600), std::nullopt);
    sway125.outputScale = 2;
    sway125.logicalSize = QSize(2048, 1280);
    cases.push_back({"wayland 125 %", sway125, false, false,
                     "The desktop scales this screen by 125 %: patterns are drawn at 4096x2560 and resampled to "
                     "2560x1600. Set 100 % or 200 %."});
    ScreenFacts sway200 = Facts(FactsSource::Wayland, {1280, 800}, 2, {2560, 1600}, QSize(2560, 1600), std::nullopt);
    sway200.outputScale = 2;
    sway200.logicalSize = QSize(1280, 800);
    cases.push_back({"wayland 200 %", sway200, true, false,
                     "Patterns reach the output 1:1 at 2560x1600; the panel's native mode is unknown."});
    cases.push_back({"x11 mode below the panel's native mode",
                     Facts(FactsSource::X11, {1920, 1080}, 1, {1920, 1080}, QSize(1920, 1080), QSize(2560, 1440)),
                     false, true,
                     "The screen runs at 1920x1080 but the panel's native mode is 2560x1440: the monitor "
                     "rescales every picture. Set 2560x1440."});
    cases.push_back({"x11 native mode",
                     Facts(FactsSource::X11, {2560, 1440}, 1, {2560, 1440}, QSize(2560, 1440), QSize(2560, 1440)),
                     true, true, "Patterns reach the panel 1:1 at 2560x1440, the panel's native mode."});
    // Qt's 150 % on X11 keeps the device size of the mode.
    cases.push_back({"x11 at Qt's 150 %",
                     Facts(FactsSource::X11, {911, 512}, 1.5, {1366, 768}, QSize(1366, 768), std::nullopt), true,
                     false, "1:1 at 1366x768"});
    ScreenFacts scaled = Facts(FactsSource::X11, {3840, 2160}, 1, {3840, 2160}, QSize(1920, 1080), QSize(1920, 1080));
    scaled.scalingTransform = true;
    cases.push_back({"x11 scaling transform", scaled, false, true,
                     "An X transform maps this screen onto its 1920x1080 mode: patterns are resampled. Remove it "
                     "(xrandr --output OUT-1 --transform none)."});
    ScreenFacts turned = Facts(FactsSource::X11, {1080, 1920}, 1, {1080, 1920}, QSize(1920, 1080), QSize(1920, 1080));
    turned.rotation = 90;
    turned.reflected = true;
    cases.push_back({"x11 rotation", turned, false, true, "rotated by 90° and mirrored"});
    // XWayland under a compositor at 200 %: the X screen is the logical size.
    ScreenFacts xwayland = Facts(FactsSource::Wayland, {1280, 800}, 1, {1280, 800}, QSize(2560, 1600), std::nullopt);
    xwayland.xwayland = true;
    xwayland.outputScale = 2;
    xwayland.logicalSize = QSize(1280, 800);
    cases.push_back({"xwayland scaled", xwayland, false, false,
                     "The desktop scales this X11 window by 200 % (XWayland)"});
    ScreenFacts xwayland1 = Facts(FactsSource::Wayland, {1280, 800}, 1, {1280, 800}, QSize(1280, 800), QSize(1280, 800));
    xwayland1.xwayland = true;
    cases.push_back({"xwayland at 100 %", xwayland1, true, true, "1:1 at 1280x800"});
    ScreenFacts alone = Facts(FactsSource::Qt, {1024, 768}, 1, {1024, 768}, std::nullopt, std::nullopt);
    alone.unaskedReason = QStringLiteral("Qt's platform 'offscreen' has no display server to ask");
    cases.push_back({"qt alone", alone, false, false,
                     "Qt's platform 'offscreen' has no display server to ask: patterns are drawn at 1024x768, but "
                     "scaling by the desktop or the monitor cannot be ruled out.",
                     false});
    return cases;
}

TEST(PixelVerdict, JudgesRecordedServerAnswers) {
    for (const VerdictCase& c : VerdictCases()) {
        SCOPED_TRACE(c.what);
        const PixelVerdict v = JudgePixels(c.facts);
        EXPECT_EQ(v.oneToOne, c.oneToOne);
        EXPECT_EQ(v.known, c.known);
        EXPECT_EQ(v.nativeModeKnown, c.nativeKnown);
        EXPECT_TRUE(v.message.contains(QString::fromUtf8(c.message))) << v.message.toStdString();
    }
}

TEST(PixelVerdict, TrueSizeIsTheOrientedModeWhenKnown) {
    ScreenFacts f = Facts(FactsSource::X11, {1080, 1920}, 1, {1080, 1920}, QSize(1920, 1080), std::nullopt);
    f.rotation = 270;
    EXPECT_EQ(TrueDeviceSize(f), QSize(1080, 1920));
    f.currentMode.reset();
    f.qtDeviceSize = QSize(1366, 768);
    EXPECT_EQ(TrueDeviceSize(f), QSize(1366, 768));
}

// A base EDID block: maker "QML", product 0x1234, serial 987654, a first
// detailed timing of `active` (one field's lines when interlaced), a name
// and a serial text descriptor.
QByteArray MakeEdid(QSize active, bool interlaced, const QByteArray& name, const QByteArray& serialText) {
    QByteArray e(128, '\0');
    const char header[] = {0, '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', 0};
    e.replace(0, 8, QByteArray(header, 8));
    const unsigned id = (('Q' - 'A' + 1) << 10) | (('M' - 'A' + 1) << 5) | ('L' - 'A' + 1);
    e[8] = char(id >> 8);
    e[9] = char(id & 0xFF);
    e[10] = char(0x34);
    e[11] = char(0x12);
    const std::uint32_t serial = 987654;
    for (int i = 0; i < 4; ++i) e[12 + i] = char((serial >> (8 * i)) & 0xFF);
    // Detailed timing: pixel clock, active width and height (low bytes,
    // high nibbles), flags.
    e[54] = char(0x56);
    e[55] = char(0x5E);
    e[56] = char(active.width() & 0xFF);
    e[58] = char((active.width() >> 8) << 4);
    e[59] = char(active.height() & 0xFF);
    e[61] = char((active.height() >> 8) << 4);
    e[71] = char(interlaced ? 0x9E : 0x1E);
    const auto text = [&e](int at, unsigned char tag, const QByteArray& s) {
        e[at + 3] = char(tag);
        QByteArray field = s + '\n';
        field = field.leftJustified(13, ' ', true);
        e.replace(at + 5, 13, field);
    };
    text(72, 0xFC, name);
    text(90, 0xFF, serialText);
    unsigned sum = 0;
    for (int i = 0; i < 127; ++i) sum += static_cast<unsigned char>(e[i]);
    e[127] = char((256 - sum % 256) % 256);
    return e;
}

TEST(PixelVerdict, ParsesTheEdidIdentity) {
    const struct {
        const char* what;
        QSize active;
        bool interlaced;
        QByteArray name, serialText;
        QString wantName, wantSerial;
        QSize wantTiming;
    } cases[] = {
        {"progressive", {2560, 1440}, false, "Quillmere 27", "QM27-0042", "Quillmere 27", "QM27-0042", {2560, 1440}},
        {"1080i: a frame of two 540-line fields", {1920, 540}, true, "Q TV", "1", "Q TV", "1", {1920, 1080}},
        {"control bytes", {1280, 1024}, false, "Q\x1b[2J\x07Z", "A\rB\x7f", "Q\\x1b[2J\\x07Z", "A\\rB\\x7f",
         {1280, 1024}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray edid = MakeEdid(c.active, c.interlaced, c.name, c.serialText);
        const std::optional<EdidInfo> info = ParseEdid(edid + QByteArray(128, '\0')); // with an extension block
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->maker, QStringLiteral("QML"));
        EXPECT_EQ(info->productCode, 0x1234);
        EXPECT_EQ(info->serialNumber, 987654u);
        EXPECT_EQ(info->name, c.wantName);
        EXPECT_EQ(info->serialText, c.wantSerial);
        EXPECT_EQ(info->preferredTiming, c.wantTiming);

        QByteArray corrupt = edid;
        corrupt[20] = char(corrupt[20] + 1);
        EXPECT_FALSE(ParseEdid(corrupt).has_value()) << "a wrong checksum";
        EXPECT_FALSE(ParseEdid(edid.left(127)).has_value()) << "a short block";
    }
}

} // namespace

// Screens of tests/screens/TrueSize.json under Qt's per-screen scale
// factors, as QT_SCREEN_SCALE_FACTORS sets them: the device size is the
// screen's own, not the rounded logical size multiplied back.
TEST(TrueSize, DeviceSizeUnderQtScaleFactors) {
#if defined(VANTREL_TEST_SCALE_FACTORS)
    const struct {
        const char* name;
        qreal factor;
        QSize device;
    } cases[] = {
        {"A", 1.5, {1366, 768}},  {"B", 1.5, {2560, 1440}}, {"C", 1.75, {2880, 1800}}, {"D", 1.75, {1920, 1080}},
        {"E", 1.25, {2560, 1440}}, {"F", 2.0, {2560, 1440}}, {"G", 1.0, {1280, 800}},
    };
    ASSERT_EQ(QGuiApplication::screens().size(), 7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QScreen* screen = ScreenNamed(c.name);
        ASSERT_NE(screen, nullptr);
        QHighDpiScaling::setScreenFactor(screen, c.factor);
        const ScreenFacts facts = QtScreenFacts(screen);
        EXPECT_DOUBLE_EQ(facts.qtPixelRatio, c.factor);
        EXPECT_EQ(facts.qtDeviceSize, c.device);
        EXPECT_EQ(TrueDeviceSize(facts), c.device);
    }
#else
    GTEST_SKIP() << "Qt's private headers are not installed";
#endif
}

// A frameless window over the 1366x768 screen at 150 %: Qt makes it 1367
// device pixels wide from its 911 logical pixels; fitted, it is the screen.
TEST(TrueSize, FittedWindowCoversTheScreenExactly) {
#if defined(VANTREL_TEST_SCALE_FACTORS)
    QScreen* screen = ScreenNamed("A");
    ASSERT_NE(screen, nullptr);
    QHighDpiScaling::setScreenFactor(screen, 1.5);
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setScreen(screen);
    window.setGeometry(screen->geometry());
    window.show();
    ASSERT_NE(window.windowHandle()->handle(), nullptr);
    EXPECT_EQ(window.windowHandle()->handle()->geometry().size(), QSize(1367, 768)) << "Qt's own rounding";
    FitWindowToScreen(window.windowHandle());
    EXPECT_EQ(window.windowHandle()->handle()->geometry(), QRect(0, 0, 1366, 768));
#else
    GTEST_SKIP() << "Qt's private headers are not installed";
#endif
}
