#include "session/pattern_form.h"

#include "patterns/painters.h"
#include "session/dispatcher.h"
#include "session/numeric.h"
#include "session/session_state.h"

QFont PatternWindowFont() {
    QFont f(QStringLiteral("新細明體"));
    f.setPointSizeF(12.0);
    f.setWeight(QFont::Normal);
    return f;
}

PatternForm::PatternForm(QSize size, qreal logicalDpi, QObject* parent)
    : QObject(parent), surface_(size, logicalDpi) {
    surface_.setBackColor(qRgb(0, 0, 0));
    surface_.setForeColor(qRgb(0, 0, 0));
    surface_.setFillStyle(DrawingSurface::FillStyle::Transparent);
    surface_.setFont(PatternWindowFont());
    connect(&Timer1, &FormTimer::tick, this, [this] {
        Timer1_Timer(*this);
        Q_EMIT changed();
    });
    connect(&Timer2, &FormTimer::tick, this, [this] {
        Timer2_Timer(*this);
        Q_EMIT changed();
    });
    connect(&AutoPlay, &FormTimer::tick, this, [this] {
        AutoPlay_Timer();
        Q_EMIT changed();
    });
}

void PatternForm::AutoPlay_Timer() {
    SessionState.PatternIndex = numeric::Add16(SessionState.PatternIndex, 1);
    PaintPattern(*this);
}
