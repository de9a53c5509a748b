#pragma once
// Carries out the command line's actions other than opening the windows,
// and the start-up steps the window run shares with them.

#include "cli/command_line.h"

#include <QStringList>

#include <memory>

class QScreen;
class VantrelApplication;

// The program's arguments as text.
QStringList CommandLineArguments(int argc, char** argv);

// Carries out every action but Action::Run: prints the help, the version,
// the pattern or screen list, or an error, or exports. Returns the exit
// status. Creates the application object itself where one is needed.
int RunCommandLineAction(const CommandLine& commandLine, char** argv);

// Creates the application object on the platform chosen before. A
// platform that cannot start ends the program with the no-display message
// and kFailureExitStatus. Qt is shown no options: `argc` is set to 1.
std::unique_ptr<VantrelApplication> StartApplication(int& argc, char** argv);

// The screen --screen names (the primary screen by default); nullptr after
// printing why there is none.
QScreen* ChosenScreen(const CommandLine& commandLine);

// Whether a display can be opened; when none can, prints the no-display
// message first.
bool RequireDisplay();

// Prints "vantrel: <text>" on stderr.
void PrintError(const QString& text);
