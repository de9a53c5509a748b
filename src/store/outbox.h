#pragma once
// Nothing is lost when a line's database is away. A record that cannot
// reach the store it is meant for is kept in the station's own SQLite
// store, in its outbox, as the whole record with the URL it was meant
// for; a later delivery writes it there and takes it out of the outbox.
// Delivery is idempotent by the session's identity: a record that reached
// its store before (the outbox entry outlived a crash) counts as delivered.

#include "defects/defect_record.h"
#include "store/record_store.h"
#include "store/store_location.h"

#include <QString>
#include <QStringList>

#include <memory>

// Puts records into one store, or into the station's outbox when that
// store is another one and cannot be reached or written. The stores are
// opened on first use; once the target failed, the records that follow go
// straight to the outbox, so a database that is away costs one wait.
class StoreWriter {
public:
    explicit StoreWriter(StoreLocation target);
    ~StoreWriter();

    enum class Result {
        Added,        // written into the store
        AlreadyThere, // the store held the session already
        KeptInOutbox, // the store could not take it: in the outbox
        Refused,      // no store can hold it (a NUL character): `message` says why
        Failed,       // neither the store nor the outbox could take it
    };
    // `message` says why a record was kept in the outbox, refused or lost.
    Result put(const DefectRecord& record, QString* message);

    const StoreLocation& target() const { return target_; }

private:
    bool keep(const DefectRecord& record, const QString& reason, QString* message);

    StoreLocation target_;
    std::unique_ptr<RecordStore> store_;
    QString targetError_; // why the target cannot be used, once it failed
    std::unique_ptr<RecordStore> station_;
};

// What a delivery of the outbox did.
struct OutboxDelivery {
    int delivered = 0;   // written into their stores now
    int alreadyThere = 0; // found in their stores already
    int pending = 0;     // still in the outbox
    QStringList problems; // one line per store that could not be reached, per entry that could not be read
};

// Delivers what the station's outbox holds for `url` (every URL when
// empty) to the stores it was meant for. A station store that does not
// exist yet holds nothing.
OutboxDelivery DeliverOutbox(const QString& url);

// Keeps `record` in the outbox of the open station store `station`, meant
// for `url`; false with `error` set when it cannot be written.
bool KeepInOutbox(RecordStore& station, const QString& url, const DefectRecord& record, const QString& reason,
                  QString* error);

// How many records the station's outbox holds for `url` (every URL when
// empty); 0 when there is no station store. False with `error` set when
// the outbox cannot be read.
bool PendingInOutbox(const QString& url, qint64* count, QString* error);
