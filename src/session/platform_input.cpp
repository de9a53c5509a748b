#include "session/platform_input.h"

#include <QKeyEvent>

int16_t VirtualKeyCode(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<int16_t>(key); // 'A'..'Z'
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<int16_t>(key); // '0'..'9'
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<int16_t>(112 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 9;
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    default: return 0;
    }
}

int16_t ButtonCode(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int16_t ButtonSet(Qt::MouseButtons buttons) {
    int16_t set = 0;
    if (buttons & Qt::LeftButton) set += 1;
    if (buttons & Qt::RightButton) set += 2;
    if (buttons & Qt::MiddleButton) set += 4;
    return set;
}

int16_t ShiftState(Qt::KeyboardModifiers m) {
    int16_t s = 0;
    if (m & Qt::ShiftModifier) s += 1;
    if (m & Qt::ControlModifier) s += 2;
    if (m & Qt::AltModifier) s += 4;
    return s;
}

int16_t KeyAscii(const QKeyEvent& event) {
    const QString text = event.text();
    if (!text.isEmpty()) {
        const char16_t c = text.at(0).unicode();
        // Delete reports a character of its own on some platforms; it is
        // not a typing key.
        if (c == 0x7f || event.key() == Qt::Key_Delete) return 0;
        return static_cast<int16_t>(c);
    }
    switch (event.key()) {
    case Qt::Key_Escape: return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Space: return 32;
    default: return 0;
    }
}
