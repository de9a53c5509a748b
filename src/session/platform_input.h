#pragma once
// Maps Qt's keys and buttons to the codes the window handlers test:
// virtual-key codes (27 Esc, 123 F12, ...) and button sets (1 left,
// 2 right, 4 middle, added together).

#include <Qt>

class QKeyEvent;

#include <cstdint>

// The virtual-key code of a Qt key, or 0 for keys without one.
int16_t VirtualKeyCode(int qtKey);
// The one button pressed or released: 1, 2, 4, or 0 for any other button.
int16_t ButtonCode(Qt::MouseButton button);
// The set of buttons held, as the sum of their codes.
int16_t ButtonSet(Qt::MouseButtons buttons);
// The shift state: 1 Shift, 2 Ctrl, 4 Alt, added together.
int16_t ShiftState(Qt::KeyboardModifiers modifiers);
// The character a key press produces, as a window's key-press handler
// receives it, or 0 for a key that produces none (Shift, Ctrl, Alt,
// arrows, function keys and the like).
int16_t KeyAscii(const QKeyEvent& event);
