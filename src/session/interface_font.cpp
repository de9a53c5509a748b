#include "session/interface_font.h"

QFont InterfaceFont(qreal points) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(points);
    return font;
}
