#include "defects/recording_session.h"

#include "defects/panel_map.h"
#include "session/dispatcher.h"
#include "session/session_state.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr const char* kJournalSuffix = ".journal";

// A lock held while the session runs; one whose process has gone counts
// as abandoned however young it is, one whose process lives never does.
std::unique_ptr<QLockFile> JournalLock(const QString& journalPath) {
    auto lock = std::make_unique<QLockFile>(journalPath + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    return lock;
}

bool SaveWhole(const QString& path, const QByteArray& data, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

RecordingSession::RecordingSession(DefectRecord facts, QString dir, QObject* parent)
    : QObject(parent), record_(std::move(facts)), dir_(std::move(dir)) {}

RecordingSession::~RecordingSession() = default;

QString RecordingSession::journalPath() const {
    return QDir(dir_).filePath(record_.baseName() + QLatin1String(kJournalSuffix));
}

bool RecordingSession::open(QString* error) {
    if (!QDir().mkpath(dir_)) {
        *error = QStringLiteral("cannot create the record directory %1").arg(dir_);
        return false;
    }
    record_.started = QDateTime::currentDateTimeUtc();
    if (record_.session.isNull()) record_.session = QUuid::createUuid();
    journal_.setFileName(journalPath());
    lock_ = JournalLock(journal_.fileName());
    if (!lock_->tryLock(0) || !journal_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = QStringLiteral("cannot write the journal %1: %2").arg(journal_.fileName(), journal_.errorString());
        return false;
    }
    append(JournalStartLine(record_));
    return true;
}

void RecordingSession::append(const QByteArray& line) {
    journal_.write(line);
    journal_.flush();
}

void RecordingSession::patternShown(int pattern) {
    if (finished_) return;
    const PatternInfo* info = FindPattern(static_cast<int16_t>(pattern));
    PatternShown shown{pattern, info ? QString::fromUtf8(info->name) : QString(), QDateTime::currentDateTimeUtc()};
    record_.patterns.push_back(shown);
    append(JournalPatternLine(shown));
}

void RecordingSession::markKey(int qtKey, QPoint devicePixel) {
    switch (qtKey) {
    case Qt::Key_1: mark(FaultType::Bright, devicePixel); break;
    case Qt::Key_2: mark(FaultType::Dark, devicePixel); break;
    case Qt::Key_3: mark(FaultType::SubPixel, devicePixel); break;
    case Qt::Key_R: mark(FaultType::Row, devicePixel); break;
    case Qt::Key_C: mark(FaultType::Column, devicePixel); break;
    case Qt::Key_Backspace: takeBack(); break;
    default: break;
    }
}

void RecordingSession::mark(FaultType type, QPoint devicePixel) {
    if (finished_) return;
    DefectMark m;
    m.number = static_cast<int>(record_.marks.size()) + 1;
    m.type = type;
    m.x = devicePixel.x() + 1;
    m.y = devicePixel.y() + 1;
    m.pattern = SessionState.PatternIndex;
    if (const PatternInfo* info = FindPattern(SessionState.PatternIndex)) m.patternName = QString::fromUtf8(info->name);
    m.time = QDateTime::currentDateTimeUtc();
    record_.marks.push_back(m);
    append(JournalMarkLine(m));
    Q_EMIT acknowledged(MarkAcknowledgement(m), devicePixel);
}

void RecordingSession::takeBack() {
    if (finished_ || record_.marks.empty()) return;
    const DefectMark last = record_.marks.back();
    record_.marks.pop_back();
    append(JournalTakeBackLine(last.number, QDateTime::currentDateTimeUtc()));
    Q_EMIT acknowledged(QStringLiteral("#%1 taken back").arg(last.number), QPoint(last.x - 1, last.y - 1));
}

bool RecordingSession::finish(QString* error) {
    if (finished_) return true;
    record_.ended = QDateTime::currentDateTimeUtc();
    QStringList written;
    if (!WriteRecordFiles(record_, dir_, &written, error)) return false;
    finished_ = true;
    journal_.close();
    journal_.remove();
    if (lock_) lock_->unlock();
    return true;
}

QString MarkAcknowledgement(const DefectMark& m) {
    return QStringLiteral("#%1 %2 ( %3 , %4 )").arg(m.number).arg(FaultTypeText(m.type)).arg(m.x).arg(m.y);
}

bool WriteRecordFiles(const DefectRecord& record, const QString& dir, QStringList* written, QString* error) {
    const QDir d(dir);
    const QString base = d.filePath(record.baseName());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    PaintPanelMap(record).save(&buffer, "PNG");
    // The record last: its presence says the session's files are all there.
    const std::pair<QString, QByteArray> files[] = {{base + QStringLiteral(".csv"), MarksCsv(record)},
                                                    {base + QStringLiteral(".png"), png},
                                                    {base + QStringLiteral(".json"), RecordJson(record)}};
    for (const auto& [path, data] : files) {
        if (!SaveWhole(path, data, error)) return false;
        *written << path;
    }
    return true;
}

void RecoverUnfinishedSessions(const QString& dir, QStringList* reports, QStringList* errors,
                               std::vector<DefectRecord>* recovered) {
    const QDir d(dir);
    const QStringList journals =
        d.entryList({QStringLiteral("*") + QLatin1String(kJournalSuffix)}, QDir::Files, QDir::Name);
    for (const QString& name : journals) {
        const QString path = d.filePath(name);
        const std::unique_ptr<QLockFile> lock = JournalLock(path);
        if (!lock->tryLock(0)) continue; // a session still running
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *errors << QStringLiteral("cannot read the journal %1: %2").arg(path, file.errorString());
            continue;
        }
        DefectRecord record;
        QString error;
        if (!ReplayJournal(file.readAll(), &record, &error)) {
            *errors << QStringLiteral("journal %1 left as it is: %2").arg(path, error);
            continue;
        }
        file.close();
        record.recovered = true;
        QStringList written;
        if (!WriteRecordFiles(record, dir, &written, &error)) {
            *errors << error;
            continue;
        }
        QFile::remove(path);
        if (recovered) recovered->push_back(record);
        *reports << QStringLiteral("recovered the unfinished session %1 with %2 mark(s): %3")
                        .arg(record.baseName())
                        .arg(record.marks.size())
                        .arg(written.constLast());
    }
}
