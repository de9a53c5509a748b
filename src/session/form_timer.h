#pragma once
// A window's timer control: an interval in milliseconds, an enabled
// switch and a text tag, delivering its ticks on the GUI thread.

#include <QObject>
#include <QString>
#include <QTimer>

class FormTimer : public QObject {
    Q_OBJECT
public:
    FormTimer(int intervalMs, QObject* parent);

    bool enabled() const { return timer_.isActive(); }
    // Enabling a running timer leaves its countdown alone.
    void setEnabled(bool on);
    int interval() const { return timer_.interval(); }
    // A new interval on a running timer restarts its countdown.
    void setInterval(int ms);

    QString Tag = QStringLiteral("0");

Q_SIGNALS:
    void tick();

private:
    QTimer timer_;
};
