#pragma once
// A store of inspection records, through Qt SQL: SQLite (WAL, one writer
// at a time, waiting up to five seconds for another) or PostgreSQL. Every
// value travels as a bound value. Opening a store brings its schema to
// this program's version (store_schema.h). A record goes in whole, in one
// transaction, keyed by its session's identity: writing one that is
// already there changes nothing.

#include "defects/defect_record.h"
#include "store/store_location.h"

#include <QSqlDatabase>
#include <QString>

class RecordStore {
public:
    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    enum class Access {
        Write, // the station's store is created, with its directory, if need be
        Read,  // an SQLite store must exist already
    };
    // Connects and brings the schema to this program's version. False with
    // `error` set (naming the store) when it cannot. An SQLite file on a
    // network file system is refused; one of another store than the
    // station's needs its directory to exist.
    bool open(const StoreLocation& location, Access access, QString* error);
    bool isOpen() const { return open_; }
    const StoreLocation& location() const { return location_; }
    QSqlDatabase& database() { return db_; }

    enum class Outcome { Added, AlreadyThere };
    // Writes the record, its marks and the patterns shown in one
    // transaction. False with `error` set when the store refuses it or
    // cannot be written; nothing of it is in the store then.
    bool write(const DefectRecord& record, Outcome* outcome, QString* error);

    // Runs `statement` alone; false with the database's reason.
    bool exec(const QString& statement, QString* error);
    // Starts a write transaction (SQLite takes its write lock at once).
    bool begin(QString* error);
    bool commit(QString* error);
    void rollback();

private:
    StoreLocation location_;
    QString connection_;
    QSqlDatabase db_;
    bool open_ = false;
};

// Why the record cannot be stored: a text with a NUL character (which
// PostgreSQL cannot hold and which ends a C string), or no start time.
// Empty when it can.
QString RecordStoreProblem(const DefectRecord& record);

// The store's text of a time: UTC, yyyy-MM-ddTHH:mm:ss.zzzZ.
QString StoreTime(const QDateTime& time);
