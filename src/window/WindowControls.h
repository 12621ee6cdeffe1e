#pragma once

#include "ids/ControlIds.h"
#include "window/AnchorLayout.h"
#include "window/DialogUnits.h"
#include "window/LayoutTable.h"

#include <QString>
#include <QWidget>

#include <array>
#include <map>

class QButtonGroup;
class QDialog;

namespace vistrel {

// The six round command buttons, in the window's member order.
constexpr std::array<int, 6> kCommandButtonIds {IdScan, IdBrowse, IdMirror, IdRotate, IdDelete, IdSave};

// The scanner window's controls, built from its layout table and known by their ids: creation with
// tab order and anchors, the radio groups, and texts, checks and enabling by id. The controls belong
// to the window through Qt's parent model.
class WindowControls
{
public:
    WindowControls(QDialog& window, AnchorLayout& anchors);

    void Create(const DialogLayout& layout, const DialogBaseUnits& units);

    QWidget* Control(int id) const;
    template <class T> T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }
    const std::map<int, QWidget*>& All() const { return controls; }

    QButtonGroup* FilmTypeGroup() const { return filmTypeGroup; }
    QButtonGroup* ResolutionGroup() const { return resolutionGroup; }
    QButtonGroup* FilmSizeGroup() const { return filmSizeGroup; }
    QButtonGroup* OutputFormatGroup() const { return outputFormatGroup; }

    void SetControlText(int id, const QString& text);
    void EnableControl(int id, bool enable);
    void CheckRadio(int firstId, int lastId, int checkId);
    static int CheckedPosition(QButtonGroup* group);
    static void SetCheckedPosition(QButtonGroup* group, int position);
    // A static control shows "&&" as one ampersand and a single '&' not at all (it marks a mnemonic).
    static QString StaticDisplayText(const QString& stored);

private:
    QWidget* CreateControl(const LayoutControl& row);

    QDialog& window;
    AnchorLayout& anchors;
    std::map<int, QWidget*> controls;
    QButtonGroup* filmTypeGroup = nullptr;
    QButtonGroup* resolutionGroup = nullptr;
    QButtonGroup* filmSizeGroup = nullptr;
    QButtonGroup* outputFormatGroup = nullptr;
    QButtonGroup* defaultCustomGroup = nullptr;
};

} // namespace vistrel
