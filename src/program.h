#pragma once
// The program's windows. Each is created the first time anything refers
// to it and lives until the program ends; this object owns them, listens
// to what each tells, and decides what follows: no window reaches
// another.

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
    // Before start(): the recording session the pattern window's mark
    // keys go to and the patterns shown are told to; it outlives the
    // windows.
    void setRecording(RecordingSession* session) { recording_ = session; }
    // Before start(): whether the pattern window's presentation clock runs
    // from its first frame, the log its frames go to (none: nullptr; it
    // outlives the windows), and the motion block's pixels per frame.
    void setFrameTiming(bool clock, FrameLog* log, int motionSpeed);

    // Opens the program's first window, the splash window: its load
    // measures the screen before it becomes visible. When the display
    // server does not show the screen 1:1, says why on stderr and on the
    // splash window; when no server could be asked, says so on stderr.
    void start();

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

    QScreen* screen_;
    std::vector<int16_t> sequence_;
    QString autoPlayStep_ = QStringLiteral("1");
    RecordingSession* recording_ = nullptr;
    bool clock_ = false;
    FrameLog* frameLog_ = nullptr;
    int motionSpeed_ = 8;
    bool ended_ = false;
    std::unique_ptr<Welcome> welcome_;
    std::unique_ptr<Background> background_;
    std::unique_ptr<VerApprove> farewell_;
};
