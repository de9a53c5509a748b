#include "cli/pattern_export.h"

#include "cli/command_line.h"
#include "cli/contact_sheet.h"
#include "cli/encoder_pool.h"
#include "cli/stop_signals.h"
#include "exit_status.h"
#include "platform/durable_file.h"
#include "platform/screen_facts.h"
#include "session/dispatcher.h"
#include "session/numeric.h"
#include "session/render_pattern.h"
#include "session/screen_metrics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QScreen>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
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

QString ExportLockFileName() { return QStringLiteral(".vantrel-export.lock"); }

namespace {

// The staging directories of exports: QTemporaryDir's template and the
// names it makes.
const char* const kStagingTemplate = ".vantrel-export-XXXXXX";
const char* const kStagingPattern = ".vantrel-export-??????";

// How long a wait for an encoder lasts before the stop signals are
// looked at again.
constexpr int kStopCheckMs = 50;

QString Quoted(const QString& path) { return QLatin1Char('\'') + QDir::toNativeSeparators(path) + QLatin1Char('\''); }

QString SystemMessage(const std::error_code& ec) { return QString::fromLocal8Bit(ec.message().c_str()); }

// Removes the staging directories that exports killed before left in
// `directory`. Only while holding the directory's export lock: then no
// other export is running there. What cannot be removed stays.
void RemoveLeftStaging(const QString& directory) {
    QDir dir(directory);
    const QStringList left = dir.entryList({QString::fromLatin1(kStagingPattern)},
                                           QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : left) QDir(dir.filePath(name)).removeRecursively();
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
    QString cause;
    switch (lock_.tryLock(QDir(absolute_).filePath(ExportLockFileName()), &cause)) {
    case FileLock::Result::Locked: break;
    case FileLock::Result::Busy:
        *error = QStringLiteral("another export into %1 is running; try again when it has finished")
                     .arg(Quoted(directory_));
        discard();
        return false;
    case FileLock::Result::Failed:
        *error = QStringLiteral("cannot write into directory %1: %2").arg(Quoted(directory_), cause);
        discard();
        return false;
    }
    RemoveLeftStaging(absolute_);
    staging_ = std::make_unique<QTemporaryDir>(QDir(absolute_).filePath(QString::fromLatin1(kStagingTemplate)));
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
    const int inFlightLimit = PicturesInFlight(size, encoders.threads());
    std::vector<std::shared_ptr<Encoding>> inFlight;
    DistinctPictures distinct;
    const auto shownPath = [this](const QString& name) { return Quoted(QDir(directory_).filePath(name)); };

    // Writes the files whose pictures are encoded, in order, each synced
    // to the disk; with `waitMs`, first waits that long for the next one.
    auto writeReady = [&](int waitMs) {
        while (!pending.empty()) {
            Encoding& e = *pending.front().encoding;
            if (!(waitMs > 0 ? encoders.waitFor(e, waitMs) : encoders.isDone(e))) return true;
            waitMs = 0;
            const QString name = pending.front().name;
            if (!e.error.isEmpty()) {
                *error = QStringLiteral("cannot encode %1: %2").arg(shownPath(name), e.error);
                return false;
            }
            QString cause;
            if (!WriteAndSync(staging_->filePath(name), e.png, &cause)) {
                *error = QStringLiteral("cannot write %1: %2").arg(shownPath(name), cause);
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
            *error = QStringLiteral("not enough memory for a picture of %1 pixels").arg(SizeText(size));
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

    // Every file is complete and on the disk: move them into place. A
    // rename within one file system replaces an older file of the same
    // name at once.
    for (const QString& name : files) {
        QString cause;
        if (!RenameReplacing(staging_->filePath(name), QDir(absolute_).filePath(name), &cause)) {
            *error = QStringLiteral("cannot write %1: %2").arg(shownPath(name), cause);
            return false;
        }
        written_ << name;
    }
    staging_.reset();
    lock_.unlock();
    finished_ = true;
    // The new names, and the staging directory and lock gone, last.
    QString cause;
    if (!SyncDirectory(absolute_, &cause)) {
        *error = QStringLiteral("cannot write into directory %1: %2").arg(Quoted(directory_), cause);
        return false;
    }
    return true;
}

void PatternExport::discard() {
    staging_.reset(); // removes the staging directory and what is in it
    lock_.unlock();
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
            PrintError(QStringLiteral("the screen's size %1 cannot be exported; give one with --size WxH")
                           .arg(SizeText(size)));
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
        const QString where =
            QStringLiteral("pattern %1 at %2; nothing was written").arg(exporter.currentPattern()).arg(SizeText(size));
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
