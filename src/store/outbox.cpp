#include "store/outbox.h"

#include "store/store_schema.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <utility>
#include <vector>

namespace {

// The station's store, opened to read or change the outbox; nullptr when
// there is none yet, or with `error` set when it cannot be opened.
std::unique_ptr<RecordStore> OpenStation(QString* error) {
    const StoreLocation station = StationStore();
    if (!QFileInfo::exists(station.path)) return nullptr;
    auto store = std::make_unique<RecordStore>();
    if (!store->open(station, RecordStore::Access::Write, error)) return nullptr;
    return store;
}

// Binds `url` when it is not empty; the condition to add to a query.
QString UrlCondition(const QString& url) { return url.isEmpty() ? QString() : QStringLiteral(" WHERE url = ?"); }

} // namespace

bool KeepInOutbox(RecordStore& station, const QString& url, const DefectRecord& record, const QString& reason,
                  QString* error) {
    QSqlQuery q(station.database());
    q.prepare(QStringLiteral("INSERT INTO outbox (url, session_uuid, record, kept, reason) VALUES (?, ?, ?, ?, ?) "
                             "ON CONFLICT (url, session_uuid) DO UPDATE SET reason = excluded.reason"));
    q.addBindValue(url);
    q.addBindValue(SessionIdentity(record).toString(QUuid::WithoutBraces));
    q.addBindValue(QString::fromUtf8(RecordJson(record)));
    q.addBindValue(StoreTime(QDateTime::currentDateTimeUtc()));
    q.addBindValue(reason);
    if (q.exec()) return true;
    *error = QStringLiteral("cannot keep the record in the outbox of %1: %2")
                 .arg(station.location().url, SqlErrorText(q.lastError()));
    return false;
}

StoreWriter::StoreWriter(StoreLocation target) : target_(std::move(target)) {}

StoreWriter::~StoreWriter() = default;

bool StoreWriter::keep(const DefectRecord& record, const QString& reason, QString* message) {
    QString error;
    if (!station_) {
        auto station = std::make_unique<RecordStore>();
        if (!station->open(StationStore(), RecordStore::Access::Write, &error)) {
            *message = reason + QStringLiteral("; and ") + error;
            return false;
        }
        station_ = std::move(station);
    }
    if (!KeepInOutbox(*station_, target_.url, record, reason, &error)) {
        *message = reason + QStringLiteral("; and ") + error;
        return false;
    }
    *message = reason;
    return true;
}

StoreWriter::Result StoreWriter::put(const DefectRecord& record, QString* message) {
    if (const QString problem = RecordStoreProblem(record); !problem.isEmpty()) {
        *message = QStringLiteral("the record is refused: %1").arg(problem);
        return Result::Refused;
    }
    if (targetError_.isEmpty() && !store_) {
        auto store = std::make_unique<RecordStore>();
        if (store->open(target_, RecordStore::Access::Write, &targetError_)) store_ = std::move(store);
    }
    if (store_) {
        RecordStore::Outcome outcome;
        if (store_->write(record, &outcome, &targetError_))
            return outcome == RecordStore::Outcome::Added ? Result::Added : Result::AlreadyThere;
        // The connection may be gone; the records that follow go to the
        // outbox too, and the next delivery tries the store afresh.
        store_.reset();
    }
    if (target_.station) {
        *message = targetError_;
        return Result::Failed;
    }
    return keep(record, targetError_, message) ? Result::KeptInOutbox : Result::Failed;
}

bool PendingInOutbox(const QString& url, qint64* count, QString* error) {
    *count = 0;
    QString openError;
    const std::unique_ptr<RecordStore> station = OpenStation(&openError);
    if (!station) {
        if (!openError.isEmpty()) *error = openError;
        return openError.isEmpty();
    }
    QSqlQuery q(station->database());
    q.prepare(QStringLiteral("SELECT count(*) FROM outbox") + UrlCondition(url));
    if (!url.isEmpty()) q.addBindValue(url);
    if (!q.exec() || !q.next()) {
        *error = SqlErrorText(q.lastError());
        return false;
    }
    *count = q.value(0).toLongLong();
    return true;
}

OutboxDelivery DeliverOutbox(const QString& url) {
    OutboxDelivery d;
    QString error;
    const std::unique_ptr<RecordStore> station = OpenStation(&error);
    if (!station) {
        if (!error.isEmpty()) {
            d.problems << error;
            d.pending = 1; // unknown, but not nothing
        }
        return d;
    }
    QSqlDatabase& db = station->database();
    // The entries first, then each record on its own: an outbox is small,
    // its records may not be.
    std::vector<std::pair<QString, QString>> entries; // url, session
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT url, session_uuid FROM outbox") + UrlCondition(url) +
                  QStringLiteral(" ORDER BY url, kept, session_uuid"));
        if (!url.isEmpty()) q.addBindValue(url);
        if (!q.exec()) {
            d.problems << QStringLiteral("cannot read the outbox of %1: %2")
                              .arg(station->location().url, SqlErrorText(q.lastError()));
            d.pending = 1;
            return d;
        }
        while (q.next()) entries.emplace_back(q.value(0).toString(), q.value(1).toString());
    }
    QString currentUrl;
    std::unique_ptr<RecordStore> target;
    QString targetError;
    for (const auto& [entryUrl, session] : entries) {
        if (entryUrl != currentUrl) {
            currentUrl = entryUrl;
            target.reset();
            targetError.clear();
            StoreLocation location;
            auto store = std::make_unique<RecordStore>();
            if (!ParseStoreUrl(entryUrl, &location, &targetError) ||
                !store->open(location, RecordStore::Access::Write, &targetError)) {
                d.problems << targetError;
            } else {
                target = std::move(store);
            }
        }
        if (!target) {
            ++d.pending;
            continue;
        }
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT record FROM outbox WHERE url = ? AND session_uuid = ?"));
        q.addBindValue(entryUrl);
        q.addBindValue(session);
        DefectRecord record;
        QString readError;
        if (!q.exec() || !q.next()) {
            ++d.pending;
            d.problems << QStringLiteral("cannot read the outbox entry %1: %2").arg(session, SqlErrorText(q.lastError()));
            continue;
        }
        if (!ReadRecordJson(q.value(0).toString().toUtf8(), &record, &readError)) {
            ++d.pending;
            d.problems << QStringLiteral("the outbox entry %1 for %2 is unreadable: %3").arg(session, entryUrl, readError);
            continue;
        }
        q.finish();
        RecordStore::Outcome outcome;
        if (!target->write(record, &outcome, &targetError)) {
            ++d.pending;
            d.problems << targetError;
            target.reset(); // the rest of this store's entries wait for the next delivery
            continue;
        }
        QSqlQuery remove(db);
        remove.prepare(QStringLiteral("DELETE FROM outbox WHERE url = ? AND session_uuid = ?"));
        remove.addBindValue(entryUrl);
        remove.addBindValue(session);
        if (!remove.exec()) {
            // In its store all the same; the next delivery finds it there.
            d.problems << QStringLiteral("cannot take the delivered entry %1 out of the outbox: %2")
                              .arg(session, SqlErrorText(remove.lastError()));
            ++d.pending;
            continue;
        }
        ++(outcome == RecordStore::Outcome::Added ? d.delivered : d.alreadyThere);
    }
    return d;
}
