#pragma once
// The program's exit statuses.

// The windows were closed, or the command line's action is done.
constexpr int kSuccessExitStatus = 0;
// No display can be opened, or a directory or file cannot be made or written.
constexpr int kFailureExitStatus = 1;
// The command line cannot be carried out as given.
constexpr int kUsageErrorExitStatus = 2;
// An untrapped run-time error ended the program.
constexpr int kRuntimeErrorExitStatus = 3;
// --check: the screen does not show one pattern pixel as one panel pixel.
constexpr int kNotOneToOneExitStatus = 4;
// A recording session ended without its record complete on the disk: a
// mark could not be kept, or the record's files could not be written (the
// journal stays for the next start to recover). Whatever ended the session,
// a signal included.
constexpr int kIncompleteRecordExitStatus = 5;
// --check: the display server could not be asked, so whether the screen
// shows one pattern pixel as one panel pixel is unknown.
constexpr int kOneToOneUnknownExitStatus = 6;
// --import: a record file could not be read, or no store can hold it, and
// was skipped; every other record is in the store (or its outbox).
constexpr int kRecordSkippedExitStatus = 7;
