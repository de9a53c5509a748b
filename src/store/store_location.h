#pragma once
// Where the inspection records are kept: the station's own SQLite file
// (the default, which also holds the outbox), another SQLite file, or a
// line's PostgreSQL database named by libpq's connection URI.
//
//   (nothing)                       $XDG_DATA_HOME/vantrel/records.sqlite
//   sqlite:PATH, or a plain PATH    that SQLite file
//   postgresql://[user@][host][:port][/dbname][?param=value&...]
//                                   (postgres:// too); the host may be a
//                                   socket directory (%2Frun%2Fpostgresql,
//                                   or ?host=/run/postgresql)

#include <QString>

struct StoreLocation {
    enum class Kind { SQLite, PostgreSQL };
    Kind kind = Kind::SQLite;
    // The store's name: the key of its entries in the outbox and the name
    // in every message. A PostgreSQL URI as given; an SQLite file as
    // "sqlite:" and its absolute path.
    QString url;
    QString path;     // SQLite: the database file
    QString conninfo; // PostgreSQL: libpq's keyword='value' form
    bool station = false; // the station's own store, which keeps the outbox
};

// The station's own store: $XDG_DATA_HOME/vantrel/records.sqlite, or
// ~/.local/share/vantrel/records.sqlite when XDG_DATA_HOME is not set.
StoreLocation StationStore();

// Reads a --store URL; an empty one names the station's store. False with
// `error` set when it names no store Vantrel can use, or when it carries a
// password (which belongs in a password or service file, not on a command
// line that every user of the machine can read).
bool ParseStoreUrl(const QString& text, StoreLocation* location, QString* error);
