#pragma once

#include <QString>

class QWidget;

namespace vistrel {

// The window's messages to the user, behind one interface so tests can answer them.
class IUserPrompts
{
public:
    virtual ~IUserPrompts() = default;
    // Modal, OK only; details, when given, go behind the box's details button.
    virtual void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                             const QString& details = QString()) = 0;
    // Modal Yes/No; true for Yes.
    virtual bool Ask(QWidget* owner, const QString& text, const QString& caption) = 0;
};

class MessageBoxPrompts : public IUserPrompts
{
public:
    void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                     const QString& details = QString()) override;
    bool Ask(QWidget* owner, const QString& text, const QString& caption) override;
};

} // namespace vistrel
