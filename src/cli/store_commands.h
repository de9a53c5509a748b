#pragma once
// The command line's side of the store of inspection records: --import,
// --sync and the questions (--history, --stats, --heatmap), each without a
// display; and the two calls of a recording session, one before it starts
// and one after each record's files are written.

#include "defects/defect_record.h"

#include <QString>

struct CommandLine;

// Runs the store's command the command line names (an Import, Sync,
// History, Stats or Heatmap action) and gives the exit status.
int StoreCommand(const CommandLine& commandLine);

// Delivers what the station's outbox holds for the command line's
// --store, when one is given; a line on stderr says what stays pending.
void DeliverPendingRecords(const CommandLine& commandLine);

// Writes a record whose files are written into the command line's store
// (the station's by default), or into the station's outbox when that
// store cannot take it; why on stderr. Gives what the record's summary
// line adds: nothing, " (kept in the outbox)", or " (not in the store)".
QString StoreRecord(const CommandLine& commandLine, const DefectRecord& record);
