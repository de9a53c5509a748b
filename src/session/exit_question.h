#pragma once
// The exit confirmation asked when the operator presses Esc on the
// pattern window.

class QWidget;

// Shows the modal question "Exit The Test Program ?!" over `parent` and
// waits for the answer; true for OK. Timers keep ticking while it waits.
bool AskExitQuestion(QWidget* parent);
