// Painting speed against the memory-fill floor.
//
// PaintPattern/<N>/<W>x<H>: one PaintPattern call for pattern N (1 to 67,
// and the extended patterns from 101) plus taking the finished image (the
// surface defers clears, so a picture is complete only once its image is
// taken). The counter vs_fill divides that time by the time of
// QImage::fill on the same frame, the memory-bandwidth floor, measured
// after each painting in the same loop (untimed there). The
// machine may be shared, so the ratio uses the best iteration of each
// (best_ms), which preemption by other processes does not inflate; the
// Time column is the mean. QImageFill/<W>x<H> shows the floor on its own:
// back-to-back fills of a frame that fits the caches run up to a quarter
// faster than fills between other work.
//
// Timer1_Timer/<W>x<H>, Timer2_Timer/<W>x<H>: one tick of the moving block
// (pattern 59) and of the flashing box (pattern 57), with the pixels each
// tick marks dirty (dirty_px, the mean area of the rectangle the surface
// reports; dirty_max_px, the largest).
//
// TickPaint/<W>x<H>@1.5: one tick of the moving block (pattern 59) shown by
// the pattern window on a screen at device pixel ratio 1.5, through the
// window's paint: copied_bytes is what the paint moves per tick, the
// repainted region's device area times 4 plus every copy of a whole frame
// the paint makes (counted as the allocations of a frame's size or more
// while it runs); frame_copies counts those copies per tick.
//
// FrameStep/<id>/<W>x<H>: one frame of a frame-paced pattern (124 to 127)
// after its first: the step the window draws when the previous frame was
// presented, and the copy of the rectangle it marks dirty into a frame of
// the window's backing store, as the window's paint does. dirty_px is the
// mean area of that rectangle, best_us the best iteration;
// full_copy_us is the copy of a whole frame, what a full repaint would move.
//
// Startup/<W>x<H>: from nothing to pattern 1 painted on the screen: the
// program object, the display probe and the pattern window shown, loaded
// and painted once, as after the start-up window, inside a running
// application (its own creation is not included); first_ms is the first
// of these in the process.

#include "patterns/painters.h"
#include "program.h"
#include "application.h"
#include "screens/display_probe.h"
#include "session/dispatcher.h"
#include "session/pattern_form.h"
#include "session/pattern_window.h"
#include "session/screen_metrics.h"
#include "session/session_state.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Allocations of at least a given size, counted while a paint runs: a copy
// of the whole frame shows up here. The program's own allocator is glibc's.
extern "C" void* __libc_malloc(size_t size);
namespace {
std::atomic<size_t> g_countFrom{0}; // 0: not counting
std::atomic<size_t> g_largeBytes{0};
std::atomic<size_t> g_largeCount{0};
} // namespace
extern "C" void* malloc(size_t size) {
    const size_t from = g_countFrom.load(std::memory_order_relaxed);
    if (from != 0 && size >= from) {
        g_largeBytes += size;
        ++g_largeCount;
    }
    return __libc_malloc(size);
}

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

constexpr QSize kFrameSizes[] = {{1920, 1080}, {3840, 2160}, {7680, 4320}};
// The second simulated screen, at device pixel ratio 1.5, for TickPaint:
// its size in logical pixels (a frame of 3840x2160 device pixels).
constexpr QSize kScaledScreen{2560, 1440};

std::string SizeName(QSize s) { return std::to_string(s.width()) + "x" + std::to_string(s.height()); }

// Best and mean time of the iterations of one benchmark.
class IterationTimes {
public:
    void add(double seconds) {
        best_ = n_ == 0 ? seconds : std::min(best_, seconds);
        total_ += seconds;
        ++n_;
    }
    bool empty() const { return n_ == 0; }
    double best() const { return best_; }
    double mean() const { return n_ ? total_ / static_cast<double>(n_) : 0.0; }

private:
    double best_ = 0.0;
    double total_ = 0.0;
    int64_t n_ = 0;
};

// The frame of the size being measured: one pattern form, whose image
// also takes the fill floor's fills. Only one size is held at a time, so
// the 132 MB frames of 7680x4320 are made once and never pile up.
class Frames {
public:
    PatternForm& form(QSize size) {
        use(size);
        return *form_;
    }
    // The floor is filled into the form's own frame: the same memory the
    // patterns are painted into (two buffers of one size can differ in
    // speed by a quarter where they fit the caches).
    QImage& fillImage(QSize size) {
        use(size);
        if (fillImage_.isNull()) {
            const QImage& frame = form_->surface().image();
            fillImage_ = QImage(const_cast<uchar*>(frame.constBits()), frame.width(), frame.height(),
                                frame.bytesPerLine(), frame.format());
        }
        return fillImage_;
    }

private:
    void use(QSize size) {
        if (size == size_ && form_) return;
        fillImage_ = QImage();
        form_.reset();
        size_ = size;
        form_ = std::make_unique<PatternForm>(size, 96.0);
        form_->surface().image(); // commit the pages before anything is timed
    }

    QSize size_;
    std::unique_ptr<PatternForm> form_;
    QImage fillImage_;
};

void UseScreen(QSize size) {
    ResetSessionState();
    SessionState.ScreenWidthPx = static_cast<int16_t>(size.width());
    SessionState.ScreenHeightPx = static_cast<int16_t>(size.height());
}

void FillFloor(benchmark::State& state, Frames& frames, QSize size) {
    QImage& image = frames.fillImage(size);
    IterationTimes times;
    int n = 0;
    for (auto _ : state) {
        const QRgb c = ++n % 2 ? 0xff000000u : 0xffffffffu;
        const auto t0 = Clock::now();
        image.fill(c);
        benchmark::ClobberMemory();
        times.add(Seconds(t0, Clock::now()));
    }
    if (times.empty()) return;
    state.counters["best_ms"] = times.best() * 1e3;
    state.counters["GB/s"] = static_cast<double>(image.sizeInBytes()) / times.best() / 1e9;
}

void Paint(benchmark::State& state, Frames& frames, QSize size, int16_t pattern) {
    PatternForm& form = frames.form(size);
    UseScreen(size);
    SessionState.MouseX = static_cast<float>(size.width() / 3);
    SessionState.MouseY = static_cast<float>(size.height() / 3);
    auto paintOnce = [&] {
        SessionState.PatternIndex = pattern;
        PaintPattern(form);
        const QImage& image = form.surface().image();
        benchmark::DoNotOptimize(image.constBits());
    };
    paintOnce(); // warm-up: glyph caches, first-use allocations
    QImage& floor = frames.fillImage(size);
    IterationTimes times, fills;
    int n = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        paintOnce();
        benchmark::ClobberMemory();
        times.add(Seconds(t0, Clock::now()));
        // The floor, interleaved with the painting so that both see the
        // same state of the caches and the memory.
        state.PauseTiming();
        const auto t1 = Clock::now();
        floor.fill(++n % 2 ? 0xff000000u : 0xffffffffu);
        benchmark::ClobberMemory();
        fills.add(Seconds(t1, Clock::now()));
        state.ResumeTiming();
    }
    form.Timer1.setEnabled(false);
    form.Timer2.setEnabled(false);
    form.surface().takeDirty();
    if (times.empty()) return;
    state.counters["best_ms"] = times.best() * 1e3;
    state.counters["vs_fill"] = times.best() / fills.best();
}

// One tick of a timer's handler after its pattern has been painted, with
// the area of the rectangle it marks dirty.
void Tick(benchmark::State& state, Frames& frames, QSize size, int16_t pattern, void (*handler)(PatternForm&)) {
    PatternForm& form = frames.form(size);
    UseScreen(size);
    SessionState.PatternIndex = pattern;
    PaintPattern(form);
    form.surface().image();
    form.surface().takeDirty();
    double dirtySum = 0.0;
    double dirtyMax = 0.0;
    int64_t n = 0;
    for (auto _ : state) {
        handler(form);
        benchmark::DoNotOptimize(form.surface().image().constBits());
        const QRect dirty = form.surface().takeDirty();
        const double area = dirty.isValid() ? static_cast<double>(dirty.width()) * dirty.height() : 0.0;
        dirtySum += area;
        dirtyMax = std::max(dirtyMax, area);
        ++n;
    }
    form.Timer1.setEnabled(false);
    form.Timer2.setEnabled(false);
    if (n == 0) return;
    state.counters["dirty_px"] = dirtySum / static_cast<double>(n);
    state.counters["dirty_max_px"] = dirtyMax;
}

// The frame-paced painters, by their pattern's id.
struct PacedPattern {
    const char* id;
    PacedPainter paint;
};
constexpr PacedPattern kPacedPatterns[] = {{"frame-skip", PaintFrameSkip},
                                           {"vsync-alternation", PaintVsyncAlternation},
                                           {"motion-block", PaintMotionBlock},
                                           {"response-toggle", PaintResponseToggle}};

void FrameStep(benchmark::State& state, Frames& frames, QSize size, PacedPainter paint) {
    PatternForm& form = frames.form(size);
    UseScreen(size);
    DrawingSurface& surface = form.surface();
    surface.clear();
    const auto w = static_cast<int16_t>(size.width()), h = static_cast<int16_t>(size.height());
    paint(surface, w, h, 0, form.MotionSpeed);
    QImage backing(size, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&backing);
        p.drawImage(0, 0, surface.image());
    }
    surface.takeDirty();
    IterationTimes times;
    double dirtySum = 0.0;
    quint64 frame = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        paint(surface, w, h, ++frame, form.MotionSpeed);
        const QRect dirty = surface.takeDirty();
        if (dirty.isValid()) {
            QPainter p(&backing);
            p.drawImage(dirty.topLeft(), surface.image(), dirty);
        }
        benchmark::ClobberMemory();
        times.add(Seconds(t0, Clock::now()));
        dirtySum += dirty.isValid() ? static_cast<double>(dirty.width()) * dirty.height() : 0.0;
    }
    if (times.empty()) return;
    IterationTimes full;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        QPainter p(&backing);
        p.drawImage(0, 0, surface.image());
        p.end();
        benchmark::ClobberMemory();
        full.add(Seconds(t0, Clock::now()));
    }
    state.counters["dirty_px"] = dirtySum / static_cast<double>(frame);
    state.counters["best_us"] = times.best() * 1e6;
    state.counters["full_copy_us"] = full.best() * 1e6;
}

// Notes the first paint of a widget.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Sums the device area of the regions a widget repaints.
class RepaintArea : public QObject {
public:
    explicit RepaintArea(qreal dpr) : dpr_(dpr) {}
    double deviceArea = 0.0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region()) {
                const QRect d = QRectF(r.x() * dpr_, r.y() * dpr_, r.width() * dpr_, r.height() * dpr_).toAlignedRect();
                deviceArea += static_cast<double>(d.width()) * d.height();
            }
        return false;
    }

private:
    qreal dpr_;
};

void TickPaint(benchmark::State& state, QScreen* screen) {
    ResetSessionState();
    Program program(screen);
    ProbeDisplay(program.screen());
    Background& window = program.background();
    program.showBackground();
    SessionState.PatternIndex = 59;
    PaintPattern(window.form());
    window.form().Timer1.setEnabled(false);
    window.flush();
    QCoreApplication::processEvents();
    const QImage& frame = window.form().surface().image();
    const size_t frameBytes = static_cast<size_t>(frame.sizeInBytes());
    RepaintArea area(window.pixelRatio());
    window.installEventFilter(&area);
    double copied = 0.0;
    double copies = 0.0;
    int64_t n = 0;
    for (auto _ : state) {
        Timer1_Timer(window.form());
        g_largeBytes = 0;
        g_largeCount = 0;
        area.deviceArea = 0.0;
        g_countFrom = frameBytes;
        window.flush();
        QCoreApplication::processEvents(); // the repaint
        g_countFrom = 0;
        copied += area.deviceArea * 4.0 + static_cast<double>(g_largeBytes.load());
        copies += static_cast<double>(g_largeCount.load());
        ++n;
    }
    window.removeEventFilter(&area);
    window.form().Timer1.setEnabled(false);
    if (n == 0) return;
    state.counters["copied_bytes"] = copied / static_cast<double>(n);
    state.counters["frame_copies"] = copies / static_cast<double>(n);
    state.counters["frame_bytes"] = static_cast<double>(frameBytes);
}

// The first start-up of the process pays for what later ones find ready
// (fonts, allocations); it is reported as first_ms.
struct FirstStartup {
    double ms = -1.0;
};

void Startup(benchmark::State& state, FirstStartup& first) {
    QScreen* screen = QGuiApplication::primaryScreen();
    for (auto _ : state) {
        ResetSessionState();
        const auto t0 = Clock::now();
        {
            Program program(screen);
            ProbeDisplay(program.screen());
            Background& window = program.background();
            PaintWatch watch;
            window.installEventFilter(&watch);
            program.showBackground();
            QElapsedTimer guard;
            guard.start();
            while (!watch.painted && guard.elapsed() < 5000) QCoreApplication::processEvents();
            window.removeEventFilter(&watch);
            if (!watch.painted || SessionState.PatternIndex != 1) {
                state.SkipWithError("pattern 1 was not painted");
                break;
            }
            if (first.ms < 0.0) first.ms = Seconds(t0, Clock::now()) * 1e3;
            state.PauseTiming(); // closing the windows is not part of start-up
        }
        QCoreApplication::processEvents(); // deferred deletions of the closed windows
        state.ResumeTiming();
    }
    state.counters["first_ms"] = first.ms;
}

// A simulated screen of a fixed size for the start-up measurement, unless
// the caller chose a platform.
std::unique_ptr<QTemporaryDir> UseOffscreenScreen(QSize size) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return nullptr;
    auto dir = std::make_unique<QTemporaryDir>();
    const QString path = dir->filePath(QStringLiteral("screen.json"));
    if (FILE* f = std::fopen(path.toLocal8Bit().constData(), "w")) {
        std::fprintf(f,
                     "{\"screens\":[{\"name\":\"S1\",\"x\":0,\"y\":0,\"width\":%d,\"height\":%d,"
                     "\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1},"
                     "{\"name\":\"S2\",\"x\":%d,\"y\":0,\"width\":%d,\"height\":%d,"
                     "\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1.5}]}\n",
                     size.width(), size.height(), size.width(), kScaledScreen.width(), kScaledScreen.height());
        std::fclose(f);
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toLocal8Bit());
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return dir;
}

// Keeps the offscreen platform's notes on window requests it ignores out
// of the table.
void QuietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

// PNG encoding and the whole export (export_bench.cpp).
void RegisterExportBenchmarks();
// The store of inspection records at a million sessions (store_bench.cpp).
void RegisterStoreBenchmarks();

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietPlatformNotes);
    auto screenConfig = UseOffscreenScreen(QSize(1920, 1080));
    QApplication app(argc, argv);
    RegisterFontSubstitutions();

    // A shorter default measuring time than the library's: 90 patterns x 3 frames.
    std::vector<char*> args(argv, argv + argc);
    std::string minTime = "--benchmark_min_time=0.2";
    if (std::none_of(args.begin(), args.end(),
                     [](const char* a) { return std::string_view(a).starts_with("--benchmark_min_time"); }))
        args.insert(args.begin() + 1, minTime.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    // Start-up first, so that its first run is the process's first.
    const QSize screenSize = DeviceSize(QGuiApplication::primaryScreen());
    FirstStartup firstStartup;
    benchmark::RegisterBenchmark(("Startup/" + SizeName(screenSize)).c_str(),
                                 [&firstStartup](benchmark::State& s) { Startup(s, firstStartup); })
        ->Unit(benchmark::kMillisecond);

    for (QScreen* screen : QGuiApplication::screens())
        if (screen->devicePixelRatio() == 1.5)
            benchmark::RegisterBenchmark(("TickPaint/" + SizeName(DeviceSize(screen)) + "@1.5").c_str(),
                                         [screen](benchmark::State& s) { TickPaint(s, screen); })
                ->Unit(benchmark::kMicrosecond);

    Frames frames;
    for (const QSize size : kFrameSizes) {
        const std::string name = SizeName(size);
        benchmark::RegisterBenchmark(("QImageFill/" + name).c_str(),
                                     [&frames, size](benchmark::State& s) { FillFloor(s, frames, size); })
            ->Unit(benchmark::kMillisecond);
        for (const PatternInfo& p : AllPatterns()) {
            const int16_t n = p.number;
            benchmark::RegisterBenchmark(("PaintPattern/" + std::to_string(n) + "/" + name).c_str(),
                                         [&frames, size, n](benchmark::State& s) { Paint(s, frames, size, n); })
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark(("Timer1_Timer/" + name).c_str(),
                                     [&frames, size](benchmark::State& s) { Tick(s, frames, size, 59, Timer1_Timer); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Timer2_Timer/" + name).c_str(),
                                     [&frames, size](benchmark::State& s) { Tick(s, frames, size, 57, Timer2_Timer); })
            ->Unit(benchmark::kMillisecond);
        if (size.width() <= 3840)
            for (const PacedPattern& p : kPacedPatterns)
                benchmark::RegisterBenchmark(("FrameStep/" + std::string(p.id) + "/" + name).c_str(),
                                             [&frames, size, paint = p.paint](benchmark::State& s) {
                                                 FrameStep(s, frames, size, paint);
                                             })
                    ->Unit(benchmark::kMicrosecond);
    }

    RegisterExportBenchmarks();
    RegisterStoreBenchmarks();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
