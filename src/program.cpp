#include "program.h"

#include "defects/recording_session.h"
#include "frames/frame_log.h"
#include "screens/farewell_window.h"
#include "screens/splash_window.h"
#include "session/dispatcher.h"
#include "session/pattern_window.h"
#include "platform/pixel_verdict.h"
#include "platform/printable_text.h"
#include "platform/screen_facts.h"
#include "platform/window_fit.h"
#include "session/screen_metrics.h"
#include "session/session_state.h"

#include <QScreen>

#include <algorithm>
#include <cstdio>

Program::Program(QScreen* screen, QObject* parent) : QObject(parent), screen_(screen) {}

Program::~Program() = default;

void Program::setSequence(std::vector<int16_t> sequence, QString autoPlayStep) {
    sequence_ = std::move(sequence);
    autoPlayStep_ = std::move(autoPlayStep);
}

void Program::setFrameTiming(bool clock, FrameLog* log, int motionSpeed) {
    clock_ = clock || log;
    frameLog_ = log;
    motionSpeed_ = motionSpeed;
}

void Program::start() {
    Welcome& splash = welcome();
    if (!splash.isLoaded()) {
        splash.Form_Load();
        warnUnlessOneToOne(splash);
    }
    splash.show();
    splash.raise();
    splash.activateWindow();
}

void Program::warnUnlessOneToOne(Welcome& splash) {
    // Asked once, before the first pattern: whether the display server
    // shows a pattern pixel as one panel pixel. When it does not, the
    // operator reads why and what to do on stderr and on the splash. When
    // no server could be asked, nothing is claimed: stderr says so and why,
    // and the splash stays as it is, for there is nothing to set right on
    // the desktop.
    facts_ = QueryScreenFacts(screen_);
    verdict_ = JudgePixels(facts_);
    if (verdict_.oneToOne) return;
    const QString line = PrintableText(VerdictLine(verdict_));
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(line));
    std::fflush(stderr);
    if (verdict_.known) splash.showNotice(line);
}

Welcome& Program::welcome() {
    if (!welcome_) {
        welcome_ = std::make_unique<Welcome>(screen_);
        connect(welcome_.get(), &Welcome::unloaded, this, &Program::showBackground);
    }
    return *welcome_;
}

Background& Program::background() {
    if (!background_) {
        background_ = std::make_unique<Background>(screen_);
        connect(background_.get(), &Background::exitConfirmed, this, &Program::confirmExit);
        PatternForm& form = background_->form();
        form.Sequence = sequence_;
        form.AutoPlayStep = autoPlayStep_;
        // A sequence of the operator's own, or a recording session, is
        // walked with the keys too.
        background_->setStepKeysEnabled(!sequence_.empty() || recording_ != nullptr);
        form.MotionSpeed = motionSpeed_;
        if (frameLog_) connect(background_.get(), &Background::framePresented, frameLog_, &FrameLog::add);
        if (clock_) background_->enablePresentationClock();
        connectRecording();
    }
    return *background_;
}

void Program::connectRecording() {
    if (!recording_ || !background_) return;
    connect(background_.get(), &Background::markKey, recording_, &RecordingSession::markKey);
    connect(background_.get(), &Background::patternShown, recording_, &RecordingSession::patternShown);
    connect(recording_, &RecordingSession::acknowledged, background_.get(), &Background::showMarkNote);
    connect(recording_, &RecordingSession::notRecorded, background_.get(), &Background::showRecordWarning);
}

void Program::setRecording(RecordingSession* session) {
    if (session == recording_) return;
    if (recording_ && background_) {
        disconnect(background_.get(), nullptr, recording_, nullptr);
        disconnect(recording_, nullptr, background_.get(), nullptr);
    }
    recording_ = session;
    connectRecording();
    // A pattern window that is up takes the change at once; one still to
    // come switches its keys on when it loads.
    if (background_) background_->setStepKeysEnabled(!sequence_.empty() || recording_ != nullptr);
    if (background_ && background_->isLoaded()) {
        background_->setMarkKeysEnabled(recording_ != nullptr);
        background_->flush();
    }
}

Background& Program::patternWindowUp() {
    if (welcome_ && welcome_->isLoaded()) welcome_->Form_KeyPress(0); // its close shows the pattern window
    Background& bg = background();
    if (!bg.isLoaded() || !bg.isVisible()) showBackground();
    return bg;
}

void Program::showPattern(int16_t number) {
    Background& bg = patternWindowUp();
    PatternForm& form = bg.form();
    const auto entry = std::find(form.Sequence.begin(), form.Sequence.end(), number);
    if (entry != form.Sequence.end()) form.SequenceStep = static_cast<std::size_t>(entry - form.Sequence.begin());
    SessionState.PatternIndex = number;
    PaintPattern(form);
    bg.flush();
}

void Program::stepPattern(bool forward) {
    Background& bg = patternWindowUp();
    PatternForm& form = bg.form();
    SessionState.PatternIndex =
        forward ? NextPatternIndex(form, SessionState.PatternIndex) : PreviousPatternIndex(form, SessionState.PatternIndex);
    PaintPattern(form);
    bg.flush();
}

QString Program::operatorBusy() const {
    if (background_ && background_->exitQuestionOpen()) return QStringLiteral("the operator is answering the exit question");
    if (ended_ || (farewell_ && farewell_->isLoaded())) return QStringLiteral("the program is ending");
    return {};
}

void Program::showBackground() {
    Background& bg = background();
    if (!bg.isLoaded()) {
        bg.Form_Load();
        // A sequence of its own starts at its first entry.
        PatternForm& form = bg.form();
        if (!form.Sequence.empty() && form.Sequence.front() != SessionState.PatternIndex) {
            form.SequenceStep = 0;
            SessionState.PatternIndex = form.Sequence.front();
            PaintPattern(form);
            bg.flush();
        }
        // The marks begin with the first pattern the operator sees.
        if (recording_) {
            bg.setMarkKeysEnabled(true);
            bg.flush();
        }
    }
    if (screen_) bg.setGeometry(screen_->geometry());
    // A full-screen request covers the screen under a window manager; the
    // geometry above covers it on a bare X server, where the request alone
    // does nothing.
    bg.showFullScreen();
    // At a fractional scale Qt sizes the window a pixel larger than the
    // screen where no window manager corrects it; make it exactly the screen.
    FitWindowToScreen(bg.windowHandle());
    bg.raise();
    bg.activateWindow();
}

VerApprove& Program::farewell() {
    if (!farewell_) {
        farewell_ = std::make_unique<VerApprove>(screen_);
        connect(farewell_.get(), &VerApprove::endRequested, this, &Program::EndProgram);
    }
    return *farewell_;
}

void Program::confirmExit() {
    VerApprove& window = farewell();
    if (!window.isLoaded()) {
        window.Form_Load();
        window.show();
        // Centred with its border and caption, now that the platform has
        // given it them.
        window.move(CentredOn(screen_, window.frameGeometry().size()));
    }
    window.raise();
    window.activateWindow();
}

void Program::EndProgram() {
    if (welcome_) welcome_->close();
    if (background_) background_->close(); // its timers stop with it
    if (farewell_) farewell_->close();
    if (ended_) return;
    ended_ = true;
    Q_EMIT ended(0);
}
