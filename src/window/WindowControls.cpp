#include "window/WindowControls.h"

#include "app/Localization.h"
#include "controls/CButtonST.h"
#include "controls/CCustomDrawSliderCtrl.h"
#include "controls/CRoundButtonST.h"
#include "controls/CXLabel.h"
#include "controls/StaticPicture.h"
#include "controls/WholeRadioButton.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace vistrel {

namespace {

constexpr const char* kNoScannerPicturePath = ":/artwork/no-scanner.png";

bool IsCommandButton(int id)
{
    return std::find(kCommandButtonIds.begin(), kCommandButtonIds.end(), id) != kCommandButtonIds.end();
}

} // namespace

WindowControls::WindowControls(QDialog& window, AnchorLayout& anchors)
    : window(window)
    , anchors(anchors)
{
}

void WindowControls::Create(const DialogLayout& layout, const DialogBaseUnits& units)
{
    filmTypeGroup = new QButtonGroup(&window);
    resolutionGroup = new QButtonGroup(&window);
    filmSizeGroup = new QButtonGroup(&window);
    outputFormatGroup = new QButtonGroup(&window);
    defaultCustomGroup = new QButtonGroup(&window);

    QWidget* previous = nullptr;
    for (const LayoutControl& row : layout.controls) {
        QWidget* widget = CreateControl(row);
        widget->setProperty("controlId", row.id);
        widget->setObjectName(QStringLiteral("id%1").arg(row.id));
        widget->setGeometry(DialogUnitsToPixels(row.units, units));
        if (!row.Has(TabStop))
            widget->setFocusPolicy(Qt::FocusPolicy(widget->focusPolicy() & ~Qt::TabFocus));
        if (row.Has(Hidden))
            widget->hide();
        if (previous && row.Has(TabStop))
            QWidget::setTabOrder(previous, widget);
        if (row.Has(TabStop))
            previous = widget;
        controls.emplace(row.id, widget);
        anchors.Add(widget, row.anchor);
    }
}

QWidget* WindowControls::CreateControl(const LayoutControl& row)
{
    QWidget* const parent = &window;
    const QString text = row.text;
    const bool centred = row.Has(Centred);
    switch (row.kind) {
    case ControlKind::DefPushButton:
    case ControlKind::PushButton: {
        QPushButton* button = nullptr;
        if (IsCommandButton(row.id)) {
            auto* round = new CRoundButtonST(parent);
            if (row.Has(DefaultButton))
                round->SetDefault(true);
            button = round;
        } else if (row.id >= IdFirstThumbnail && row.id <= IdLastThumbnail) {
            button = new CButtonST(parent);
        } else {
            button = new QPushButton(parent);
            button->setAutoDefault(false);
        }
        button->setText(text);
        return button;
    }
    case ControlKind::Static: {
        if (row.id == IdPreview || row.id == IdStatus || row.id == IdNoScannerText) {
            auto* label = new CXLabel(StaticDisplayText(text), parent);
            label->SetTextStyle(centred ? Qt::AlignHCenter : Qt::AlignLeft, !row.Has(VCentred), row.Has(VCentred));
            if (row.Has(Sunken))
                label->SetSunkenEdge(true);
            return label;
        }
        auto* label = new QLabel(StaticDisplayText(text), parent);
        label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft)
                            | (row.Has(VCentred) ? Qt::AlignVCenter : Qt::AlignTop));
        if (row.Has(Sunken))
            label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        return label;
    }
    case ControlKind::Picture: {
        auto* picture = new StaticPicture(parent);
        picture->setAlignment(Qt::AlignCenter);
        if (row.Has(Sunken))
            picture->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        if (row.id == IdNoScannerPicture)
            picture->setPixmap(QPixmap(QString::fromLatin1(kNoScannerPicturePath)));
        return picture;
    }
    case ControlKind::GroupBox: {
        auto* box = new QGroupBox(text, parent);
        if (centred)
            box->setAlignment(Qt::AlignHCenter);
        return box;
    }
    case ControlKind::Slider: {
        auto* slider = new CCustomDrawSliderCtrl(parent);
        slider->setOrientation(Qt::Horizontal);
        slider->setTickPosition(QSlider::NoTicks);
        return slider;
    }
    case ControlKind::Radio: {
        auto* radio = new WholeRadioButton(text, parent);
        const std::pair<std::pair<int, int>, QButtonGroup*> groups[] = {
            {{IdSlide, IdBlackWhite}, filmTypeGroup}, {{IdStandard, IdHigh}, resolutionGroup},
            {{IdFilm135, IdFilm126}, filmSizeGroup},  {{IdJpg, IdTiff}, outputFormatGroup},
            {{IdDefault, IdCustom}, defaultCustomGroup},
        };
        for (const auto& [ids, group] : groups) {
            if (row.id >= ids.first && row.id <= ids.second) {
                group->addButton(radio, row.id);
                break;
            }
        }
        return radio;
    }
    case ControlKind::Edit:
        return new QLineEdit(parent);
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        combo->addItems(LanguageChooserItems());
        combo->setCurrentIndex(-1);
        combo->setMaxVisibleItems(combo->count());
        return combo;
    }
    }
    return new QWidget(parent);
}

QWidget* WindowControls::Control(int id) const
{
    auto found = controls.find(id);
    return found == controls.end() ? nullptr : found->second;
}

void WindowControls::SetControlText(int id, const QString& text)
{
    QWidget* widget = Control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
    else if (auto* box = qobject_cast<QGroupBox*>(widget))
        box->setTitle(text);
    else if (auto* label = qobject_cast<CXLabel*>(widget))
        label->ShowText(StaticDisplayText(text));
    else if (auto* plain = qobject_cast<QLabel*>(widget))
        plain->setText(StaticDisplayText(text));
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(text);
}

void WindowControls::EnableControl(int id, bool enable)
{
    if (id == 0)
        return;
    if (QWidget* widget = Control(id))
        widget->setEnabled(enable);
}

int WindowControls::CheckedPosition(QButtonGroup* group)
{
    const QList<QAbstractButton*> buttons = group->buttons();
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked())
            return i;
    }
    return -1;
}

void WindowControls::SetCheckedPosition(QButtonGroup* group, int position)
{
    const QList<QAbstractButton*> buttons = group->buttons();
    // An exclusive group refuses to uncheck its last checked button; lift that for the moment.
    group->setExclusive(false);
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setChecked(i == position);
    group->setExclusive(true);
}

void WindowControls::CheckRadio(int firstId, int lastId, int checkId)
{
    for (int id = firstId; id <= lastId; ++id) {
        auto* radio = ControlAs<QAbstractButton>(id);
        if (!radio)
            continue;
        QButtonGroup* group = radio->group();
        if (group)
            group->setExclusive(false);
        radio->setChecked(id == checkId);
        if (group)
            group->setExclusive(true);
    }
}

QString WindowControls::StaticDisplayText(const QString& stored)
{
    QString shown;
    shown.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == u'&') {
            if (i + 1 < stored.size() && stored[i + 1] == u'&') {
                shown += u'&';
                ++i;
            }
            continue;
        }
        shown += stored[i];
    }
    return shown;
}

} // namespace vistrel
