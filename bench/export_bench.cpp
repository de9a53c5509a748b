// Export speed: the PNG encoder's settings against Qt's defaults, and a
// whole export.
//
// PngEncode/<settings>/<W>x<H>: one picture of each kind of pattern (solid
// field, bands, frame, ramp, quadrants, raster, flashing box, moving block,
// font sample, grid; painted before the timing) encoded one after another
// on one thread. Settings: qt_default is QImageWriter's defaults on the
// picture as painted (24-bit RGB, zlib level 6: the export before it
// encoded in parallel); palette_level6 the exact palette at level 6;
// export what the export writes (EncodePng: the exact palette at level 1).
// ms_per_picture is the mean; kB the bytes of the ten files.
//
// Export/<W>x<H>: PatternExport::run for all 67 patterns and the contact
// sheet into a fresh directory, as --export --size does (painting on this
// thread, encoding on every core); MB the files' total, encoded the
// pictures encoded (distinct pictures and the sheet).

#include "cli/pattern_export.h"
#include "cli/png_encoding.h"
#include "session/render_pattern.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int16_t kKinds[] = {1, 2, 3, 42, 46, 51, 57, 59, 64, 67};

std::string Name(QSize s) { return std::to_string(s.width()) + "x" + std::to_string(s.height()); }

enum class Settings { QtDefault, PaletteLevel6, Export };

QByteArray Encode(const QImage& picture, Settings settings) {
    QByteArray png;
    if (settings == Settings::Export) {
        QString error;
        if (!EncodePng(picture, &png, &error)) std::fprintf(stderr, "%s\n", qPrintable(error));
        return png;
    }
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    const QImage palette = settings == Settings::PaletteLevel6 ? PalettePicture(picture) : QImage();
    writer.write(palette.isNull() ? picture : palette);
    return png;
}

void PngEncode(benchmark::State& state, QSize size, Settings settings) {
    std::vector<QImage> pictures;
    for (const int16_t n : kKinds) pictures.push_back(RenderPattern(n, size));
    qint64 bytes = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        bytes = 0;
        for (const QImage& p : pictures) bytes += Encode(p, settings).size();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["ms_per_picture"] =
        seconds * 1e3 / static_cast<double>(state.iterations()) / static_cast<double>(pictures.size());
    state.counters["kB"] = static_cast<double>(bytes) / 1e3;
}

void Export(benchmark::State& state, QSize size) {
    qint64 bytes = 0;
    int encoded = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QTemporaryDir tmp;
        PatternExport exporter(tmp.filePath(QStringLiteral("out")));
        QString error;
        if (!exporter.open(&error) || !exporter.run(size, 96.0, 1, 67, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        bytes = exporter.bytesWritten();
        encoded = exporter.encodedPictures();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["s"] = seconds / static_cast<double>(state.iterations());
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["encoded"] = encoded;
}

} // namespace

void RegisterExportBenchmarks() {
    const struct {
        const char* name;
        Settings settings;
    } settings[] = {{"qt_default", Settings::QtDefault},
                    {"palette_level6", Settings::PaletteLevel6},
                    {"export", Settings::Export}};
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)})
        for (const auto& s : settings)
            benchmark::RegisterBenchmark(("PngEncode/" + std::string(s.name) + "/" + Name(size)).c_str(),
                                         [size, s](benchmark::State& st) { PngEncode(st, size, s.settings); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    for (const QSize size : {QSize(3840, 2160), QSize(7680, 4320)})
        benchmark::RegisterBenchmark(("Export/" + Name(size)).c_str(),
                                     [size](benchmark::State& st) { Export(st, size); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
}
