#pragma once
// The program's windows. Each is created the first time anything refers
// to it and lives until the program ends; this object owns them, listens
// to what each tells, and decides what follows: no window reaches
// another.

#include "platform/pixel_verdict.h"
#include "platform/screen_facts.h"

#include <QObject>

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class Background;
class FrameLog;
class RecordingSession;
class QScreen;
class VerApprove;
class Welcome;

class Program : public QObject {
    Q_OBJECT
public:
    // screen: the screen the windows open on and the probe measures.
    explicit Program(QScreen* screen, QObject* parent = nullptr);
    ~Program() override;

    QScreen* screen() const { return screen_; }

    // Before start(): the order the patterns are walked through (empty:
    // the standard order) and the auto-play step F12 sets, as decimal
    // seconds.
    void setSequence(std::vector<int16_t> sequence, QString autoPlayStep);
    // The recording session the pattern window's mark keys go to and the
    // patterns shown are told to, or none; it outlives the windows. Given
    // while the pattern window is up, the keys switch on (or off) at once
    // and the pattern on the screen is told to the new session.
    void setRecording(RecordingSession* session);
    RecordingSession* recording() const { return recording_; }
    // Before the pattern window is first made (by start(), or by a
    // controller through background()): whether the window's presentation
    // clock runs from its first frame, the log its frames go to (none:
    // nullptr; it outlives the windows), and the motion block's pixels per
    // frame.
    void setFrameTiming(bool clock, FrameLog* log, int motionSpeed);

    // Opens the program's first window, the splash window: its load
    // measures the screen before it becomes visible. When the display
    // server does not show the screen 1:1, says why on stderr and on the
    // splash window; when no server could be asked, says so on stderr.
    void start();

    // What the display server said of the screen at start(), and whether it
    // shows one pattern pixel as one panel pixel.
    const ScreenFacts& screenFacts() const { return facts_; }
    const PixelVerdict& verdict() const { return verdict_; }

    // The splash window, created on first reference.
    Welcome& welcome();
    bool hasWelcome() const { return welcome_ != nullptr; }

    // The pattern window, created on first reference.
    Background& background();
    bool hasBackground() const { return background_ != nullptr; }
    // Loads the pattern window on its first show, then shows it over the
    // whole screen.
    void showBackground();

    // The farewell window, created on first reference.
    VerApprove& farewell();
    bool hasFarewell() const { return farewell_ != nullptr; }

    // Shows pattern `number` (a number of the table) as the left button
    // shows the next one: the splash window closes first, as a key would,
    // and the pattern window comes up. A pattern of the sequence continues
    // the sequence from there.
    void showPattern(int16_t number);
    // One step along the sequence (or the standard order), forward as the
    // left button steps or back, as showPattern() shows.
    void stepPattern(bool forward);

    // What the operator is in the middle of that other input must not
    // cross: the exit question is open, or the program is ending. Empty
    // when nothing is.
    QString operatorBusy() const;

    // The operator confirmed the exit question: shows the farewell window,
    // loading it first if it is not loaded, else only brings it to the front.
    void confirmExit();

    // Ends the program: closes the splash window (a closed one ignores
    // it), the pattern window and the farewell window, in that order, then
    // `ended` with status 0. The application leaves its event loop on it.
    void EndProgram();
    bool hasEnded() const { return ended_; }

Q_SIGNALS:
    void ended(int status);

private:
    void warnUnlessOneToOne(Welcome& splash);
    void connectRecording();
    // The pattern window, up: the splash window closed if it was open.
    Background& patternWindowUp();

    QScreen* screen_;
    std::vector<int16_t> sequence_;
    QString autoPlayStep_ = QStringLiteral("1");
    RecordingSession* recording_ = nullptr;
    ScreenFacts facts_;
    PixelVerdict verdict_;
    bool clock_ = false;
    FrameLog* frameLog_ = nullptr;
    int motionSpeed_ = 8;
    bool ended_ = false;
    std::unique_ptr<Welcome> welcome_;
    std::unique_ptr<Background> background_;
    std::unique_ptr<VerApprove> farewell_;
};
