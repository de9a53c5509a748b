#include "session/form_timer.h"

FormTimer::FormTimer(int intervalMs, QObject* parent) : QObject(parent), timer_(this) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &FormTimer::tick);
}

void FormTimer::setEnabled(bool on) {
    if (on && !timer_.isActive()) timer_.start();
    else if (!on) timer_.stop();
}

void FormTimer::setInterval(int ms) {
    if (timer_.isActive()) timer_.start(ms);
    else timer_.setInterval(ms);
}
