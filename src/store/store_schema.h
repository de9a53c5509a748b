#pragma once
// The store's tables, versioned: the table vantrel_schema holds the
// version, and each step below takes a store from one version to the
// next. A store is brought to this program's version in one transaction
// when it is opened; an empty database is created that way.
//
//   1  sessions (one row per inspection session, keyed by its identity,
//      with the counts and verdict the questions read, and `repeated`: 1
//      when the store holds another session of the same panel), marks,
//      patterns_shown
//   2  the indexes of the questions: a panel's history, the days
//   3  outbox: records kept for a store that could not be reached

#include "store/store_location.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

constexpr int kStoreSchemaVersion = 3;

// The statements that take a store of `kind` from version `version` - 1
// to `version` (1 to kStoreSchemaVersion).
QStringList SchemaStep(int version, StoreLocation::Kind kind);

// The version the store holds: 0 for a database without Vantrel's tables.
// False with `error` set when it cannot be read.
bool ReadSchemaVersion(QSqlDatabase& db, int* version, QString* error);

// Brings the store to version `target` (at most kStoreSchemaVersion) in
// one transaction. Refuses a store of a newer version than this program's,
// and a database that has tables of Vantrel's names but no version.
bool MigrateSchema(QSqlDatabase& db, StoreLocation::Kind kind, QString* error, int target = kStoreSchemaVersion);

// The indexed part of a panel's serial, as the history's query and the
// index both write it.
inline constexpr const char* kPanelKey = "substr(panel, 1, 200)";

// The reason in a failed statement, in the database's words.
QString SqlErrorText(const class QSqlError& error);
