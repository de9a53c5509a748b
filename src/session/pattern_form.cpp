#include "session/pattern_form.h"

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
}

void PatternForm::stopTimers() {
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    AutoPlay.setEnabled(false);
}
