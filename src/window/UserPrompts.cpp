#include "window/UserPrompts.h"

#include <QMessageBox>

namespace vistrel {

void MessageBoxPrompts::ShowMessage(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox::information(owner, caption, text, QMessageBox::Ok);
}

bool MessageBoxPrompts::Ask(QWidget* owner, const QString& text, const QString& caption)
{
    return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

} // namespace vistrel
