#include "window/UserPrompts.h"

#include <QMessageBox>

namespace vistrel {

void MessageBoxPrompts::ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                                    const QString& details)
{
    if (details.isEmpty()) {
        QMessageBox::information(owner, caption, text, QMessageBox::Ok);
        return;
    }
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, owner);
    box.setDetailedText(details);
    box.exec();
}

bool MessageBoxPrompts::Ask(QWidget* owner, const QString& text, const QString& caption)
{
    return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

} // namespace vistrel
