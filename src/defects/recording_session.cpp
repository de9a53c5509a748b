#include "defects/recording_session.h"

#include "defects/panel_map.h"
#include "session/dispatcher.h"
#include "session/session_state.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr const char* kJournalSuffix = ".journal";
constexpr const char* kLockSuffix = ".lock";
// A journal larger than this is no journal a session wrote (a line is
// about 300 bytes): it is left as it is rather than read into memory.
constexpr qint64 kMaxJournalBytes = 64 * 1024 * 1024;

} // namespace

RecordingSession::RecordingSession(DefectRecord facts, QString dir, QObject* parent)
    : QObject(parent), record_(std::move(facts)), dir_(std::move(dir)), surface_(record_.mode) {}

RecordingSession::~RecordingSession() = default;

QString RecordingSession::journalPath() const {
    return QDir(dir_).filePath(record_.baseName() + QLatin1String(kJournalSuffix));
}

bool RecordingSession::open(QString* error) {
    QString reason;
    if (!CreateDirectories(dir_, &reason)) {
        *error = QStringLiteral("cannot create the record directory %1: %2").arg(dir_, reason);
        return false;
    }
    record_.started = QDateTime::currentDateTimeUtc();
    if (record_.session.isNull()) record_.session = QUuid::createUuid();
    const QString journal = journalPath();
    const auto sameSecond = [this](const QString& what) {
        return QStringLiteral("a session of panel ") + record_.panel + QStringLiteral(" started in the same second ") +
               what + QStringLiteral(" in ") + dir_ + QStringLiteral("; start again a second later");
    };
    switch (lock_.tryLock(journal + QLatin1String(kLockSuffix), &reason)) {
    case FileLock::Result::Locked: break;
    case FileLock::Result::Busy: *error = sameSecond(QStringLiteral("is still running")); return false;
    case FileLock::Result::Failed:
        *error = QStringLiteral("cannot lock the journal %1: %2").arg(journal, reason);
        return false;
    }
    for (const char* suffix : {kJournalSuffix, ".json"}) {
        const QString taken = QDir(dir_).filePath(record_.baseName() + QLatin1String(suffix));
        if (QFileInfo::exists(taken)) {
            *error = sameSecond(QStringLiteral("has its files there already (%1)").arg(taken));
            lock_.unlock(true);
            return false;
        }
    }
    if (!journal_.open(journal, &reason) || !append(JournalStartLine(record_), &reason)) {
        *error = QStringLiteral("cannot write the journal %1: %2").arg(journal, reason);
        journal_.close();
        RemoveDurably(journal, nullptr);
        lock_.unlock(true);
        return false;
    }
    return true;
}

bool RecordingSession::append(const QByteArray& line, QString* error) {
    error->clear();
    if (!journal_.append(line, error)) return false;
    ++nextLine_;
    return true;
}

void RecordingSession::refuse(const QString& what, const QString& reason, QPoint devicePixel) {
    const QString text = QStringLiteral("%1: cannot append to the journal: %2").arg(what, reason);
    record_.notRecorded << QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + text;
    Q_EMIT notRecorded(text, devicePixel);
}

std::optional<QPoint> RecordingSession::panelPixel(QPoint p) const {
    const QSize mode = record_.mode;
    if (surface_.isEmpty() || p.x() < 0 || p.y() < 0 || p.x() >= surface_.width() || p.y() >= surface_.height())
        return std::nullopt;
    // A surface pixel covers the panel pixels from p * mode / surface on.
    const auto scale = [](int v, int to, int from) {
        return static_cast<int>(int64_t{v} * to / from) + 1;
    };
    return QPoint(scale(p.x(), mode.width(), surface_.width()), scale(p.y(), mode.height(), surface_.height()));
}

void RecordingSession::patternShown(int pattern) {
    if (finished_) return;
    const PatternInfo* info = FindPattern(static_cast<int16_t>(pattern));
    PatternShown shown{pattern, info ? QString::fromUtf8(info->name) : QString(), QDateTime::currentDateTimeUtc()};
    QString reason;
    if (!append(JournalPatternLine(nextLine_, shown), &reason)) {
        refuse(QStringLiteral("NOT RECORDED: pattern %1 shown").arg(pattern), reason, QPoint(-1, -1));
        return;
    }
    record_.patterns.push_back(shown);
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
    const std::optional<QPoint> at = panelPixel(devicePixel);
    if (!at) {
        // Nothing is lost: the operator is told to point at the panel.
        Q_EMIT notRecorded(QStringLiteral("NOT RECORDED: the pointer is not on the panel"), QPoint(-1, -1));
        return;
    }
    addMark(type, *at, devicePixel, nullptr);
}

bool RecordingSession::markPanelPixel(FaultType type, QPoint panelPixel, QString* error) {
    DefectMark where;
    where.x = panelPixel.x();
    where.y = panelPixel.y();
    return addMark(type, panelPixel, devicePixelOf(where), error);
}

bool RecordingSession::addMark(FaultType type, QPoint panelPixel, QPoint devicePixel, QString* error) {
    if (finished_) {
        if (error) *error = QStringLiteral("the session is finished");
        return false;
    }
    DefectMark m;
    m.number = static_cast<int>(record_.marks.size()) + 1;
    m.type = type;
    m.x = panelPixel.x();
    m.y = panelPixel.y();
    m.pattern = SessionState.PatternIndex;
    if (const PatternInfo* info = FindPattern(SessionState.PatternIndex)) m.patternName = QString::fromUtf8(info->name);
    m.time = QDateTime::currentDateTimeUtc();
    QString reason;
    if (!append(JournalMarkLine(nextLine_, m), &reason)) {
        refuse(QStringLiteral("NOT RECORDED: %1 ( %2 , %3 )").arg(FaultTypeText(type)).arg(m.x).arg(m.y), reason,
               devicePixel);
        if (error) *error = QStringLiteral("the mark could not be kept in the journal %1: %2").arg(journalPath(), reason);
        return false;
    }
    record_.marks.push_back(m);
    Q_EMIT acknowledged(MarkAcknowledgement(m), devicePixel);
    Q_EMIT marked(m);
    return true;
}

bool RecordingSession::takeBack(QString* error) {
    if (finished_ || record_.marks.empty()) {
        if (error) *error = QStringLiteral("there is no mark to take back");
        return false;
    }
    const DefectMark last = record_.marks.back();
    const QPoint pixel = devicePixelOf(last);
    QString reason;
    if (!append(JournalTakeBackLine(nextLine_, last.number, QDateTime::currentDateTimeUtc()), &reason)) {
        refuse(QStringLiteral("NOT TAKEN BACK: #%1 stays in the record").arg(last.number), reason, pixel);
        if (error)
            *error = QStringLiteral("the take-back of #%1 could not be kept in the journal %2: %3")
                         .arg(last.number)
                         .arg(journalPath(), reason);
        return false;
    }
    record_.marks.pop_back();
    Q_EMIT acknowledged(QStringLiteral("#%1 taken back").arg(last.number), pixel);
    return true;
}

QPoint RecordingSession::devicePixelOf(const DefectMark& m) const {
    const QSize mode = record_.mode;
    if (mode.isEmpty() || surface_.isEmpty()) return QPoint(m.x - 1, m.y - 1);
    return QPoint(static_cast<int>(int64_t{m.x - 1} * surface_.width() / mode.width()),
                  static_cast<int>(int64_t{m.y - 1} * surface_.height() / mode.height()));
}

bool RecordingSession::finish(QString* error) {
    if (finished_) return true;
    record_.ended = QDateTime::currentDateTimeUtc();
    QStringList written;
    if (!WriteRecordFiles(record_, dir_, &written, error)) return false;
    finished_ = true;
    written_ = written;
    // The record is on the disk: only now may the journal go.
    journal_.close();
    QString reason;
    if (!RemoveDurably(journalPath(), &reason))
        journalLeft_ = QStringLiteral("the journal %1 could not be removed: %2").arg(journalPath(), reason);
    lock_.unlock(journalLeft_.isEmpty());
    return true;
}

QString MarkAcknowledgement(const DefectMark& m) {
    return QStringLiteral("#%1 %2 ( %3 , %4 )").arg(m.number).arg(FaultTypeText(m.type)).arg(m.x).arg(m.y);
}

bool WriteRecordFiles(const DefectRecord& record, const QString& dir, QStringList* written, QString* error) {
    // The names come from DIR and the base name alone; the base name is a
    // safe serial and a time, so every file lies inside DIR.
    if (!IsSafePanelSerial(record.panel) || !record.started.isValid()) {
        *error = QStringLiteral("the record's panel '%1' or start time cannot name files").arg(record.panel.left(80));
        return false;
    }
    const QString base = QDir(dir).filePath(record.baseName());
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !PaintPanelMap(record).save(&buffer, "PNG")) {
        *error = QStringLiteral("cannot encode the map %1.png").arg(base);
        return false;
    }
    // The record last: its presence says the session's files are all there.
    const std::pair<QString, QByteArray> files[] = {{base + QStringLiteral(".csv"), MarksCsv(record)},
                                                    {base + QStringLiteral(".png"), png},
                                                    {base + QStringLiteral(".json"), RecordJson(record)}};
    QStringList done;
    for (const auto& [path, data] : files) {
        QString reason;
        if (!WriteFileDurably(path, data, &reason)) {
            *error = QStringLiteral("cannot write %1: %2").arg(path, reason);
            // All or none: a record's files without the record would claim
            // a session that is not there.
            for (const QString& file : done) RemoveDurably(file, nullptr);
            return false;
        }
        done << path;
    }
    *written = done;
    return true;
}

namespace {

// Recovers the session of one journal, `name` in `dir`, locked by the caller.
void RecoverJournal(const QDir& dir, const QString& name, Recovery* out) {
    const QString path = dir.filePath(name);
    const auto leave = [&](const QString& why) { out->errors << QStringLiteral("journal %1 left as it is: %2").arg(path, why); };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        // Gone meanwhile: its session finished.
        if (file.exists()) leave(QStringLiteral("cannot read it: ") + file.errorString());
        return;
    }
    if (file.size() > kMaxJournalBytes) {
        leave(QStringLiteral("it is larger than any journal a session writes (%1 bytes)").arg(file.size()));
        return;
    }
    DefectRecord record;
    QStringList losses;
    QString error;
    if (!ReplayJournal(file.readAll(), &record, &losses, &error)) {
        leave(error);
        return;
    }
    file.close();
    const QString base = record.baseName();
    if (name != base + QLatin1String(kJournalSuffix)) {
        leave(QStringLiteral("it holds the session of panel %1 started %2, whose files are not named after it")
                  .arg(record.panel, record.started.toUTC().toString(Qt::ISODate)));
        return;
    }
    QString reason;
    QFile existing(dir.filePath(base + QStringLiteral(".json")));
    if (existing.exists()) {
        DefectRecord other;
        if (!existing.open(QIODevice::ReadOnly) || !ReadRecordJson(existing.readAll(), &other, &error) ||
            SessionIdentity(other) != SessionIdentity(record)) {
            leave(QStringLiteral("%1 is there and is not the record of its session").arg(existing.fileName()));
            return;
        }
        // The session wrote its record and ended before its journal went.
        if (!RemoveDurably(path, &reason))
            out->errors << QStringLiteral("cannot remove the journal %1 of a session whose record %2 is written: %3")
                               .arg(path, existing.fileName(), reason);
        else
            out->reports << QStringLiteral("removed the journal %1: its session's record %2 is written")
                                .arg(path, existing.fileName());
        return;
    }
    record.recovered = true;
    for (const QString& loss : losses) record.notRecorded << QStringLiteral("journal ") + loss;
    QStringList written;
    if (!WriteRecordFiles(record, dir.path(), &written, &error)) {
        leave(error);
        return;
    }
    out->reports << QStringLiteral("recovered the unfinished session %1 with %2 mark(s): %3")
                        .arg(base)
                        .arg(record.marks.size())
                        .arg(written.constLast());
    for (const QString& loss : losses) out->reports << QStringLiteral("%1: journal %2").arg(base, loss);
    if (!RemoveDurably(path, &reason))
        out->errors << QStringLiteral("cannot remove the journal %1 after writing its record: %2").arg(path, reason);
    out->written.push_back({std::move(record), written});
}

} // namespace

Recovery RecoverUnfinishedSessions(const QString& dir) {
    Recovery out;
    const QDir d(dir);
    const QStringList journals =
        d.entryList({QStringLiteral("*") + QLatin1String(kJournalSuffix)}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : journals) {
        const QString path = d.filePath(name);
        FileLock lock;
        QString reason;
        switch (lock.tryLock(path + QLatin1String(kLockSuffix), &reason)) {
        case FileLock::Result::Busy: continue; // a session still running
        case FileLock::Result::Failed:
            out.errors << QStringLiteral("journal %1 left as it is: cannot lock it: %2").arg(path, reason);
            continue;
        case FileLock::Result::Locked: break;
        }
        RecoverJournal(d, name, &out);
        lock.unlock(true);
    }
    return out;
}
