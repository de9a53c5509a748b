#pragma once
// The program's windows. Each is created the first time anything refers
// to it and lives until the program ends; this object owns them and is
// the one place through which one window reaches another.

#include <QObject>

#include <memory>

class Background;
class QScreen;

class Program : public QObject {
    Q_OBJECT
public:
    // screen: the screen the windows open on and the probe measures.
    explicit Program(QScreen* screen, QObject* parent = nullptr);
    ~Program() override;

    QScreen* screen() const { return screen_; }

    // Opens the program's first window.
    void start();

    // The pattern window, created on first reference.
    Background& background();
    bool hasBackground() const { return background_ != nullptr; }
    // Loads the pattern window on its first show, then shows it over the
    // whole screen.
    void showBackground();

    // The operator confirmed the exit question.
    void confirmExit();

private:
    QScreen* screen_;
    std::unique_ptr<Background> background_;
};
