#pragma once
// The command line's side of --frame-log: the log opened before the
// windows, write failures said at once, and the summary line at the end.

#include "frames/frame_log.h"

#include <memory>

struct CommandLine;

// The log the command line asks for, opened and holding its header; nullptr
// without --frame-log, and after printing why when it cannot be written
// (`failed` set then).
std::unique_ptr<FrameLog> StartFrameLog(const CommandLine& commandLine, bool* failed);

// Syncs the log and prints its summary line on stderr; false when a line
// or the sync could not be written (said on stderr).
bool FinishFrameLog(FrameLog& log, const CommandLine& commandLine);
