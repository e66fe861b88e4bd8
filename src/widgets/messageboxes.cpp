#include "widgets/messageboxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

MessageBoxes::Answer QtMessageBoxes::show(const QString &text, const QString &title, Icon icon,
                                          Buttons buttons)
{
    QMessageBox box(m_parent ? m_parent : QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
        case Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == OkCancel || buttons == OkCancelHelp)
        standard |= QMessageBox::Cancel;
    if (buttons == OkCancelHelp)
        standard |= QMessageBox::Help;
    box.setStandardButtons(standard);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons == Ok ? QMessageBox::Ok : QMessageBox::Cancel);
    // The Help button has no help behind it: pressing it answers like the others and closes.
    const int result = box.exec();
    if (result == QMessageBox::Cancel)
        return AnswerCancel;
    if (result == QMessageBox::Help)
        return AnswerHelp;
    if (result == QMessageBox::Ok)
        return AnswerOk;
    return buttons == Ok ? AnswerOk : AnswerCancel;
}

void showPortError(MessageBoxes &boxes)
{
    boxes.show(QStringLiteral("Open Communication Port Error "), QStringLiteral(" System Message "),
               MessageBoxes::Critical, MessageBoxes::Ok);
}

void showFormatError(MessageBoxes &boxes)
{
    boxes.show(QStringLiteral("Data format error !"), QStringLiteral(" Syntax description error "),
               MessageBoxes::Exclamation, MessageBoxes::Ok);
}
