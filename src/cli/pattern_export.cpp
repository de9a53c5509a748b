#include "cli/pattern_export.h"

#include "cli/contact_sheet.h"
#include "session/dispatcher.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>

QImage RenderPattern(int16_t number, QSize size, qreal logicalDpi) {
    // The state start-up leaves: the probe measured a screen of this size,
    // the window's load switched auto-play off, no mouse button was used.
    ResetSessionState();
    SessionState.ScreenWidthPx = static_cast<int16_t>(size.width());
    SessionState.ScreenHeightPx = static_cast<int16_t>(size.height());
    SessionState.AutoPlayOn = kFalse;
    SessionState.MouseX = 0.0f;
    SessionState.MouseY = 0.0f;

    PatternForm form(size, logicalDpi);
    SessionState.PatternIndex = number;
    PaintPattern(form);
    // Shares the pixels, which outlive the form; its timers stop with it.
    return form.surface().image();
}

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
