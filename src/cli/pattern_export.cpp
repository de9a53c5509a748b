#include "cli/pattern_export.h"

#include "cli/command_line.h"
#include "cli/contact_sheet.h"
#include "exit_status.h"
#include "session/dispatcher.h"
#include "session/numeric.h"
#include "session/render_pattern.h"
#include "session/screen_metrics.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QScreen>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>

QString PatternFileName(int16_t number) {
    return QStringLiteral("pattern-%1.png").arg(number, 2, 10, QLatin1Char('0'));
}

QString ContactSheetFileName() { return QStringLiteral("contact-sheet.png"); }

namespace {

QString Quoted(const QString& path) { return QLatin1Char('\'') + QDir::toNativeSeparators(path) + QLatin1Char('\''); }

QString SystemMessage(const std::error_code& ec) { return QString::fromLocal8Bit(ec.message().c_str()); }

bool WritePng(const QImage& image, const QString& path, QString* error) {
    QImageWriter writer(path, "png");
    if (writer.write(image)) return true;
    *error = QStringLiteral("cannot write %1: %2").arg(Quoted(path), writer.errorString());
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
    if (!staging_ || !staging_->isValid()) {
        *error = QStringLiteral("the export directory is not open");
        return false;
    }
    QStringList files;
    ContactSheet sheet(size);
    for (int16_t n = first; n <= last; ++n) {
        current_ = n;
        const QImage picture = RenderPattern(n, size, logicalDpi);
        if (picture.isNull()) {
            *error = QStringLiteral("not enough memory for a picture of %1x%2 pixels").arg(size.width()).arg(size.height());
            return false;
        }
        if (!WritePng(picture, staging_->filePath(PatternFileName(n)), error)) return false;
        files << PatternFileName(n);
        const PatternInfo* info = FindPattern(n);
        sheet.add(n, info ? QString::fromUtf8(info->name) : QString(), picture);
    }
    if (!WritePng(sheet.render(), staging_->filePath(ContactSheetFileName()), error)) return false;
    files << ContactSheetFileName();

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

int ExportCommand(const CommandLine& c, const QScreen* screen) {
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

    try {
        if (!exporter.run(size, dpi, c.firstPattern, c.lastPattern, &error)) {
            PrintError(error);
            return kFailureExitStatus;
        }
    } catch (const numeric::RuntimeError& e) {
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
    return kSuccessExitStatus;
}
