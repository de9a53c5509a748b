#include "cli/pattern_export.h"

#include "cli/command_line.h"
#include "cli/contact_sheet.h"
#include "cli/stop_signals.h"
#include "exit_status.h"
#include "session/dispatcher.h"
#include "session/numeric.h"
#include "session/render_pattern.h"
#include "session/screen_metrics.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QLocale>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

QString PatternFileName(int16_t number) {
    return QStringLiteral("pattern-%1.png").arg(number, 2, 10, QLatin1Char('0'));
}

QString ContactSheetFileName() { return QStringLiteral("contact-sheet.png"); }

namespace {

// zlib level 1 (Qt maps quality 100..0 onto levels 0..9). The pictures
// are few-coloured fields whose palette rows deflate to almost nothing at
// any level; level 1 encodes the ramps and the font sample about twice as
// fast as the default level 6, for files still smaller than 24-bit ones
// at level 6 (see docs/performance.md).
constexpr int kPngQuality = 89;

// How many pictures may wait for an encoder or be encoded at a time, per
// core: enough to keep every core busy, few enough for 132 MB pictures.
constexpr int kPicturesInFlightPerCore = 2;

// How long a wait for an encoder lasts before the stop signals are
// looked at again.
constexpr int kStopCheckMs = 50;

QString Quoted(const QString& path) { return QLatin1Char('\'') + QDir::toNativeSeparators(path) + QLatin1Char('\''); }

QString SystemMessage(const std::error_code& ec) { return QString::fromLocal8Bit(ec.message().c_str()); }

QRgb Opaque(QRgb c) { return c | 0xff000000u; }

} // namespace

QImage PalettePicture(const QImage& picture) {
    const QImage rgb = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.hasAlphaChannel() || rgb.isNull()) return QImage();
    const int w = rgb.width();
    const int h = rgb.height();

    // The colours, in order of appearance; most rows are long runs.
    QList<QRgb> table;
    auto indexOf = [&table](QRgb c) {
        const auto at = std::find(table.cbegin(), table.cend(), c);
        return at == table.cend() ? -1 : static_cast<int>(at - table.cbegin());
    };
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        QRgb last = 0;
        for (int x = 0; x < w; ++x) {
            const QRgb c = Opaque(row[x]);
            if (x > 0 && c == last) continue;
            last = c;
            if (indexOf(c) >= 0) continue;
            if (table.size() == 256) return QImage();
            table << c;
        }
    }

    if (table.size() <= 2) {
        // One bit a pixel, the first bit the leftmost, as PNG stores it.
        QImage mono(rgb.size(), QImage::Format_Mono);
        if (mono.isNull()) return QImage();
        mono.setColorTable(table);
        const QRgb one = table.size() == 2 ? table[1] : 0u;
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            uchar* out = mono.scanLine(y);
            std::memset(out, 0, static_cast<size_t>(mono.bytesPerLine()));
            if (table.size() == 1) continue;
            for (int x = 0; x < w; ++x)
                if (Opaque(row[x]) == one) out[x >> 3] |= static_cast<uchar>(0x80u >> (x & 7));
        }
        return mono;
    }

    QImage indexed(rgb.size(), QImage::Format_Indexed8);
    if (indexed.isNull()) return QImage();
    indexed.setColorTable(table);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        QRgb last = Opaque(row[0]);
        uchar index = static_cast<uchar>(indexOf(last));
        for (int x = 0; x < w; ++x) {
            const QRgb c = Opaque(row[x]);
            if (c != last) {
                last = c;
                index = static_cast<uchar>(indexOf(c));
            }
            out[x] = index;
        }
    }
    return indexed;
}

bool EncodePng(const QImage& picture, QByteArray* png, QString* error) {
    const QImage palette = PalettePicture(picture);
    png->clear();
    QBuffer buffer(png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Qt 6 writes no gAMA chunk: a viewer shows the stored values as
    // they are, as the pattern window does.
    writer.setQuality(kPngQuality);
    if (writer.write(palette.isNull() ? picture : palette)) return true;
    *error = writer.errorString();
    return false;
}

namespace {

// One picture on its way to a file, shared by every pattern that shows it.
struct Encoding {
    QImage picture;    // until it is encoded
    QByteArray png;    // the file's bytes, once done
    QString error;     // why it could not be encoded
    bool done = false; // guarded by the pool's mutex
};

// Encoders on every core. Pictures go in on the GUI thread; the caller
// waits for one at a time with a time limit, so it can watch for stop
// signals meanwhile.
class EncoderPool {
public:
    EncoderPool() { pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount())); }
    ~EncoderPool() { stop(); }
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    int threads() const { return pool_.maxThreadCount(); }

    std::shared_ptr<Encoding> add(QImage picture) {
        auto e = std::make_shared<Encoding>();
        e->picture = std::move(picture);
        pool_.start([this, e] { encode(*e); });
        return e;
    }

    // Waits up to `ms` for `e`; whether it is done.
    bool waitFor(const Encoding& e, int ms) {
        std::unique_lock lock(mutex_);
        return finished_.wait_for(lock, std::chrono::milliseconds(ms), [&e] { return e.done; });
    }

    bool isDone(const Encoding& e) {
        std::lock_guard lock(mutex_);
        return e.done;
    }

    // Drops the pictures no encoder has taken yet and waits for the ones
    // being encoded.
    void stop() {
        cancelled_ = true;
        pool_.clear();
        pool_.waitForDone();
    }

private:
    void encode(Encoding& e) {
        if (cancelled_) return;
        QByteArray png;
        QString error;
        try {
            if (!EncodePng(e.picture, &png, &error) && error.isEmpty()) error = QStringLiteral("cannot encode");
        } catch (const std::bad_alloc&) {
            png.clear();
            error = QStringLiteral("Out of memory");
        }
        std::lock_guard lock(mutex_);
        e.png = std::move(png);
        e.error = std::move(error);
        e.picture = QImage();
        e.done = true;
        finished_.notify_all();
    }

    QThreadPool pool_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::atomic<bool> cancelled_{false};
};

// What tells pictures apart cheaply: a hash of the bits, and the colour
// when every pixel has the same.
struct Digest {
    size_t hash = 0;
    std::optional<QRgb> colour;
};

// A hash of every 64-bit word, in four independent lanes so that it runs
// at the speed of memory (Qt's qHashBits takes several times as long on a
// 132 MB picture, on the thread that paints).
size_t HashOfBits(const uchar* bits, size_t bytes) {
    constexpr uint64_t kPrime = 0x100000001b3ull;
    uint64_t lane[4] = {0xcbf29ce484222325ull, 1, 2, 3};
    const size_t words = bytes / 8;
    size_t i = 0;
    for (; i + 4 <= words; i += 4)
        for (int k = 0; k < 4; ++k) {
            uint64_t w;
            std::memcpy(&w, bits + (i + static_cast<size_t>(k)) * 8, 8);
            lane[k] = (lane[k] ^ w) * kPrime;
        }
    uint64_t h = bytes;
    for (; i < words; ++i) {
        uint64_t w;
        std::memcpy(&w, bits + i * 8, 8);
        h = (h ^ w) * kPrime;
    }
    for (size_t b = words * 8; b < bytes; ++b) h = (h ^ bits[b]) * kPrime;
    for (const uint64_t l : lane) h = (h ^ l ^ (l >> 29)) * kPrime;
    return static_cast<size_t>(h);
}

Digest DigestOf(const QImage& picture) {
    Digest d;
    // A 32-bit picture's rows follow each other without padding.
    d.hash = HashOfBits(picture.constBits(), static_cast<size_t>(picture.sizeInBytes()));
    const auto* first = reinterpret_cast<const QRgb*>(picture.constScanLine(0));
    const QRgb c = first[0];
    if (!std::all_of(first, first + picture.width(), [c](QRgb p) { return p == c; })) return d;
    const size_t rowBytes = static_cast<size_t>(picture.width()) * sizeof(QRgb);
    for (int y = 1; y < picture.height(); ++y)
        if (std::memcmp(picture.constScanLine(y), first, rowBytes) != 0) return d;
    d.colour = c;
    return d;
}

bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format()) return false;
    const size_t rowBytes = static_cast<size_t>(a.width()) * static_cast<size_t>(a.depth()) / 8;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), rowBytes) != 0) return false;
    return true;
}

// The distinct pictures of an export so far, to find a picture shown
// before: by its digest, then by comparing every pixel.
class DistinctPictures {
public:
    // The earlier encoding of a picture equal to `picture`, or nullptr.
    std::shared_ptr<Encoding> find(const QImage& picture, const Digest& d, EncoderPool& pool) {
        release(pool);
        for (Seen& s : seen_) {
            if (s.digest.hash != d.hash || s.size != picture.size()) continue;
            if (s.digest.colour || d.colour) {
                // Both checked whole: equal when of one and the same colour.
                if (s.digest.colour == d.colour) return s.encoding;
                continue;
            }
            QImage earlier = s.picture;
            if (earlier.isNull()) {
                // Let go of once encoded: its file tells its pixels.
                earlier = QImage::fromData(s.encoding->png, "png").convertToFormat(picture.format());
            }
            if (SamePixels(earlier, picture)) return s.encoding;
        }
        return nullptr;
    }

    void add(const QImage& picture, const Digest& d, std::shared_ptr<Encoding> encoding) {
        // A field of one colour is told by its digest alone.
        seen_.push_back({d, picture.size(), d.colour ? QImage() : picture, std::move(encoding)});
    }

private:
    // Pictures already encoded are not kept.
    void release(EncoderPool& pool) {
        for (Seen& s : seen_)
            if (!s.picture.isNull() && pool.isDone(*s.encoding)) s.picture = QImage();
    }

    struct Seen {
        Digest digest;
        QSize size;
        QImage picture;
        std::shared_ptr<Encoding> encoding;
    };
    std::vector<Seen> seen_;
};

// Writes a file's bytes; false with `error` naming the system's cause
// ("No space left on device").
bool WriteFile(const QString& path, const QByteArray& bytes, QString* error) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        // A write cut short (a disk filling up) is followed by one that
        // fails with the system's error.
        qint64 done = 0;
        for (qint64 n = 0; done < bytes.size(); done += n)
            if ((n = file.write(bytes.constData() + done, bytes.size() - done)) <= 0) break;
        if (done == bytes.size()) {
            file.close();
            if (file.error() == QFileDevice::NoError) return true;
        }
    }
    *error = file.errorString();
    return false;
}

} // namespace

PatternExport::PatternExport(QString directory) : directory_(std::move(directory)) {}

PatternExport::~PatternExport() {
    if (!finished_) discard();
}

bool PatternExport::open(QString* error) {
    absolute_ = QDir::cleanPath(QFileInfo(directory_).absoluteFilePath());

    // The directories that do not exist yet, deepest first, so that a
    // failed export can remove what it made.
    created_.clear();
    for (QString p = absolute_; !QFileInfo::exists(p);) {
        created_ << p;
        const QString parent = QFileInfo(p).absolutePath();
        if (parent == p) break;
        p = parent;
    }
    if (QFileInfo::exists(absolute_) && !QFileInfo(absolute_).isDir()) {
        *error = QStringLiteral("%1 is not a directory").arg(Quoted(directory_));
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(QFileInfo(absolute_).filesystemAbsoluteFilePath(), ec);
    if (ec) {
        *error = QStringLiteral("cannot create directory %1: %2").arg(Quoted(directory_), SystemMessage(ec));
        discard();
        return false;
    }
    staging_ = std::make_unique<QTemporaryDir>(absolute_ + QStringLiteral("/.vantrel-export-XXXXXX"));
    if (!staging_->isValid()) {
        *error = QStringLiteral("cannot write into directory %1: %2").arg(Quoted(directory_), staging_->errorString());
        discard();
        return false;
    }
    return true;
}

bool PatternExport::run(QSize size, qreal logicalDpi, int16_t first, int16_t last, QString* error) {
    std::vector<int16_t> numbers;
    for (int n = first; n <= last; ++n) numbers.push_back(static_cast<int16_t>(n));
    return run(size, logicalDpi, std::move(numbers), error);
}

bool PatternExport::run(QSize size, qreal logicalDpi, std::vector<int16_t> numbers, QString* error) {
    // Each pattern once, where the list first names it.
    for (auto n = numbers.begin(); n != numbers.end(); ++n)
        numbers.erase(std::remove(n + 1, numbers.end(), *n), numbers.end());
    if (!staging_ || !staging_->isValid()) {
        *error = QStringLiteral("the export directory is not open");
        return false;
    }
    struct File {
        QString name;
        std::shared_ptr<Encoding> encoding;
    };
    std::deque<File> pending; // in order; written as their encodings finish
    QStringList files;
    const int patterns = static_cast<int>(numbers.size());
    EncoderPool encoders;
    const int inFlightLimit = kPicturesInFlightPerCore * encoders.threads();
    std::vector<std::shared_ptr<Encoding>> inFlight;
    DistinctPictures distinct;

    // Writes the files whose pictures are encoded, in order; with `waitMs`,
    // first waits that long for the next one.
    auto writeReady = [&](int waitMs) {
        while (!pending.empty()) {
            Encoding& e = *pending.front().encoding;
            if (!(waitMs > 0 ? encoders.waitFor(e, waitMs) : encoders.isDone(e))) return true;
            waitMs = 0;
            const QString name = pending.front().name;
            if (!e.error.isEmpty()) {
                *error = QStringLiteral("cannot encode %1: %2").arg(Quoted(QDir(directory_).filePath(name)), e.error);
                return false;
            }
            QString cause;
            if (!WriteFile(staging_->filePath(name), e.png, &cause)) {
                *error = QStringLiteral("cannot write %1: %2").arg(Quoted(QDir(directory_).filePath(name)), cause);
                return false;
            }
            bytes_ += e.png.size();
            files << name;
            pending.pop_front();
            if (progress_) progress_(std::min(static_cast<int>(files.size()), patterns), patterns, name);
        }
        return true;
    };
    auto stopped = [this] { return (stoppedBy_ = PendingStopSignal()) != 0; };

    auto encode = [&](const QString& name, const QImage& picture, const Digest* digest) {
        std::shared_ptr<Encoding> e = digest ? distinct.find(picture, *digest, encoders) : nullptr;
        if (!e) {
            e = encoders.add(picture);
            ++encoded_;
            if (digest) distinct.add(picture, *digest, e);
            inFlight.push_back(e);
        }
        pending.push_back({name, std::move(e)});
    };
    // Keeps the pictures in flight within the limit, writing what is
    // ready meanwhile; false on a failure or a stop signal.
    auto makeRoom = [&](size_t limit) {
        for (;;) {
            if (stopped() || !writeReady(0)) return false;
            std::erase_if(inFlight, [&](const auto& e) { return encoders.isDone(*e); });
            if (inFlight.size() < limit) return true;
            encoders.waitFor(*inFlight.front(), kStopCheckMs);
        }
    };

    ContactSheet sheet(size);
    for (const int16_t n : numbers) {
        if (!makeRoom(static_cast<size_t>(inFlightLimit))) return false;
        current_ = n;
        const QImage picture = RenderPattern(n, size, logicalDpi);
        if (picture.isNull()) {
            *error = QStringLiteral("not enough memory for a picture of %1x%2 pixels").arg(size.width()).arg(size.height());
            return false;
        }
        const Digest digest = DigestOf(picture);
        encode(PatternFileName(n), picture, &digest);
        const PatternInfo* info = FindPattern(n);
        sheet.add(n, info ? QString::fromUtf8(info->name) : QString(), picture);
    }
    if (stopped()) return false;
    encode(ContactSheetFileName(), sheet.render(), nullptr);
    while (!pending.empty()) {
        if (stopped() || !writeReady(kStopCheckMs)) return false;
    }
    if (stopped()) return false;

    // Every file is complete: move them into place. A rename within one
    // directory tree replaces an older file of the same name at once.
    for (const QString& name : files) {
        std::error_code ec;
        std::filesystem::rename(QFileInfo(staging_->filePath(name)).filesystemAbsoluteFilePath(),
                                QFileInfo(QDir(absolute_).filePath(name)).filesystemAbsoluteFilePath(), ec);
        if (ec) {
            *error = QStringLiteral("cannot write %1: %2").arg(Quoted(QDir(directory_).filePath(name)), SystemMessage(ec));
            return false;
        }
        written_ << name;
    }
    staging_.reset();
    finished_ = true;
    return true;
}

void PatternExport::discard() {
    staging_.reset(); // removes the staging directory and what is in it
    QDir dir;
    for (const QString& p : created_)
        if (!dir.rmdir(p)) break; // not empty: something else lives there now
    created_.clear();
}

namespace {

// Whether stdout is a terminal, where a line can be redrawn in place.
bool StdoutIsTerminal() {
#ifdef Q_OS_WIN
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

// The one line of progress on a terminal, redrawn in place.
class ProgressLine {
public:
    explicit ProgressLine(bool shown) : shown_(shown) {}
    ~ProgressLine() { clear(); }

    void show(const QString& text) {
        if (!shown_) return;
        const QByteArray line = text.toLocal8Bit();
        // Spaces over what is left of a longer line before.
        const int pad = std::max(0, width_ - static_cast<int>(line.size()));
        std::fprintf(stdout, "\r%s%*s", line.constData(), pad, "");
        if (pad > 0) std::fprintf(stdout, "\r%s", line.constData());
        std::fflush(stdout);
        width_ = static_cast<int>(line.size());
    }
    void finish(const QString& text) {
        show(text);
        if (shown_) std::fputc('\n', stdout);
        width_ = 0;
        shown_ = false;
    }
    void clear() {
        if (!shown_ || width_ == 0) return;
        std::fprintf(stdout, "\r%*s\r", width_, "");
        std::fflush(stdout);
        width_ = 0;
    }

private:
    bool shown_;
    int width_ = 0;
};

QString Summary(int patterns, const QString& directory, qint64 ms, qint64 bytes) {
    const QString what = patterns == 1 ? QStringLiteral("1 pattern") : QStringLiteral("%1 patterns").arg(patterns);
    QString dir = QDir::toNativeSeparators(directory);
    if (!dir.endsWith(QDir::separator())) dir += QDir::separator();
    return QStringLiteral("exported %1 and the contact sheet into %2 in %3 s, %4")
        .arg(what, dir, QString::number(static_cast<double>(ms) / 1000.0, 'f', 1),
             QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat));
}

} // namespace

int ExportCommand(const CommandLine& c, const QScreen* screen) {
    QElapsedTimer clock;
    clock.start();
    WatchStopSignals();
    PatternExport exporter(c.exportDir);
    QString error;
    if (!exporter.open(&error)) {
        PrintError(error);
        return kFailureExitStatus;
    }
    QSize size = c.size;
    qreal dpi = 96.0;
    if (screen) {
        size = DeviceSize(screen);
        dpi = screen->logicalDotsPerInch() * screen->devicePixelRatio(); // points in device pixels
        if (size.isEmpty() || size.width() > kMaxExportSide || size.height() > kMaxExportSide) {
            PrintError(QStringLiteral("the screen's size %1x%2 cannot be exported; give one with --size WxH")
                           .arg(size.width())
                           .arg(size.height()));
            return kFailureExitStatus;
        }
    }

    ProgressLine progress(!c.quiet && StdoutIsTerminal());
    exporter.setProgress([&progress](int done, int total, const QString& name) {
        progress.show(QStringLiteral("exporting %1/%2  %3").arg(done).arg(total).arg(name));
    });
    try {
        const bool done = c.exportPatterns.empty() ? exporter.run(size, dpi, c.firstPattern, c.lastPattern, &error)
                                                   : exporter.run(size, dpi, c.exportPatterns, &error);
        if (!done) {
            progress.clear();
            if (const int signal = exporter.stoppedBy()) {
                PrintError(QStringLiteral("export interrupted; nothing was written"));
                return StopSignalExitStatus(signal);
            }
            PrintError(error);
            return kFailureExitStatus;
        }
    } catch (const numeric::RuntimeError& e) {
        progress.clear();
        // The run-time error's usual course: reported, and the program
        // ends. Without a display there is no message box to show it in.
        const QString where = QStringLiteral("pattern %1 at %2x%3; nothing was written")
                                  .arg(exporter.currentPattern())
                                  .arg(size.width())
                                  .arg(size.height());
        if (!screen) {
            PrintError(QStringLiteral("run-time error %1: %2, painting %3")
                           .arg(static_cast<int>(e.code()))
                           .arg(e.name(), where));
            return kRuntimeErrorExitStatus;
        }
        PrintError(QStringLiteral("export stopped at ") + where);
        throw;
    }
    // The files written: the patterns' and the contact sheet.
    const int patterns = static_cast<int>(exporter.written().size()) - 1;
    progress.finish(Summary(patterns, c.exportDir, clock.elapsed(), exporter.bytesWritten()));
    return kSuccessExitStatus;
}
