#include "program.h"

#include "screens/display_probe.h"
#include "session/pattern_window.h"
#include "session/session_state.h"

#include <QCoreApplication>
#include <QScreen>

Program::Program(QScreen* screen, QObject* parent) : QObject(parent), screen_(screen) {}

Program::~Program() = default;

void Program::start() {
    // Until the start-up screen exists, measure the screen and open the
    // pattern window directly.
    ProbeDisplay(screen_);
    showBackground();
}

Background& Program::background() {
    if (!background_) background_ = std::make_unique<Background>(*this, screen_);
    return *background_;
}

void Program::showBackground() {
    Background& bg = background();
    if (!bg.isLoaded()) bg.Form_Load();
    if (screen_) bg.setGeometry(screen_->geometry());
    // A full-screen request covers the screen under a window manager; the
    // geometry above covers it on a bare X server, where the request alone
    // does nothing.
    bg.showFullScreen();
    bg.raise();
    bg.activateWindow();
}

void Program::confirmExit() { QCoreApplication::exit(0); }
