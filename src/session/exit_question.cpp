#include "session/exit_question.h"

#include "session/interface_font.h"

#include <QMessageBox>

bool AskExitQuestion(QWidget* parent) {
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("ExitQuestion"));
    box.setFont(InterfaceFont(9.75));
    box.setWindowTitle(QStringLiteral("Exit - Quillmere"));
    box.setText(QStringLiteral("Exit The Test Program ?!"));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}
