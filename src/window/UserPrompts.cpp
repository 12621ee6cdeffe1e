#include "window/UserPrompts.h"

#include "app/Localization.h"

#include <QMessageBox>
#include <QPushButton>

namespace vistrel {

namespace {

// Qt's own buttons would say "Yes" and "No" in English: the buttons take the window's language.
void Label(QMessageBox& box, QMessageBox::StandardButton which, std::uint32_t stringId)
{
    bool found = false;
    const QString text = LoadLocalizedText(stringId, &found);
    if (QAbstractButton* button = box.button(which); button && found)
        button->setText(text);
}

} // namespace

void MessageBoxPrompts::ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                                    const QString& details)
{
    QMessageBox box(details.isEmpty() ? QMessageBox::Information : QMessageBox::Warning, caption, text,
                    QMessageBox::Ok, owner);
    if (!details.isEmpty())
        box.setDetailedText(details);
    Label(box, QMessageBox::Ok, IdsOk);
    box.exec();
}

bool MessageBoxPrompts::Ask(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    Label(box, QMessageBox::Yes, IdsYes);
    Label(box, QMessageBox::No, IdsNo);
    return box.exec() == QMessageBox::Yes;
}

} // namespace vistrel
