#include "window/VistrelDlg.h"

#include "app/Diagnostics.h"
#include "app/Localization.h"
#include "capture/contract/Guid.h"
#include "controls/CButtonST.h"
#include "controls/CCustomDrawSliderCtrl.h"
#include "controls/CRoundButtonST.h"
#include "controls/CXLabel.h"
#include "controls/StaticPicture.h"
#include "controls/WholeRadioButton.h"
#include "images/StillCheck.h"
#include "window/LayoutTable.h"
#include "window/NoticeLine.h"
#include "window/PreviewSurface.h"
#include "window/ReasonText.h"
#include "window/SaveController.h"
#include "window/StripKeeper.h"
#include "window/StripView.h"
#include "window/TextFit.h"

#include "capture/SelectPlatform.h"
#include "capture/runtime/CapturePlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif
#include <QStyle>

#include <algorithm>
#include <optional>
#include <utility>

namespace vistrel {

namespace {

constexpr const char* kWindowIconPath = ":/artwork/vistrel.svg";
constexpr const char* kNoScannerPicturePath = ":/artwork/no-scanner.png";
constexpr int kLighterThanFacePercent = 106;

// Controls whose enabled state does not follow the scanner.
constexpr std::array<int, 6> kAlwaysUsable {IdChooser, IdFolderBox, IdChooseFolder, IdChooserCaption, IdSaveCaption,
                                            IdBrowse};

// Controls that wait while a save runs: Scan and the strip commands.
bool IsStripCommand(int id)
{
    return id == IdScan || id == IdSave || id == IdDelete || id == IdRotate || id == IdMirror
        || (id >= IdFirstThumbnail && id <= IdLastThumbnail);
}

// String id -> control, in the order the texts are applied.
constexpr std::array<std::pair<std::uint32_t, int>, 26> kLanguageTexts {{
    {IdsScan, IdScan}, {IdsAdjust, IdAdjustBox}, {IdsSaturation, IdSaturationCaption},
    {IdsBrightness, IdBrightnessCaption}, {IdsContrast, IdContrastCaption}, {IdsRed, IdRedCaption},
    {IdsGreen, IdGreenCaption}, {IdsBlue, IdBlueCaption}, {IdsDefault, IdDefault}, {IdsCustom, IdCustom},
    {IdsFilmType, IdFilmTypeBox}, {IdsSlide, IdSlide}, {IdsNegative, IdNegative}, {IdsBlackWhite, IdBlackWhite},
    {IdsResolution, IdResolutionBox}, {IdsFilmSize, IdFilmSizeBox}, {IdsUiLanguage, IdChooserCaption}, {IdsSaveFilmIn, IdSaveCaption},
    {IdsBrowse, IdBrowse}, {IdsStandard, IdStandard}, {IdsHigh, IdHigh}, {IdsMirror, IdMirror},
    {IdsRotate, IdRotate}, {IdsDelete, IdDelete}, {IdsSave, IdSave}, {IdsFinalImages, IdStripFrame},
}};

// Each slider is named after the label beside it.
constexpr std::array<std::pair<int, int>, 6> kSliderLabels {{
    {IdSaturationSlider, IdSaturationCaption}, {IdBrightnessSlider, IdBrightnessCaption},
    {IdContrastSlider, IdContrastCaption}, {IdRedSlider, IdRedCaption}, {IdGreenSlider, IdGreenCaption},
    {IdBlueSlider, IdBlueCaption},
}};

// The six sliders in member order, and the six command buttons in member order.
constexpr std::array<int, 6> kSliderIds {IdBrightnessSlider, IdSaturationSlider, IdContrastSlider, IdRedSlider,
                                         IdGreenSlider, IdBlueSlider};
constexpr std::array<int, 6> kCommandButtonIds {IdScan, IdBrowse, IdMirror, IdRotate, IdDelete, IdSave};

constexpr std::array<int, 3> kFilmTypeIds {IdSlide, IdNegative, IdBlackWhite};

// Handled trackbar notifications: line up/down, page up/down and thumb track.
bool IsHandledScrollCode(int code)
{
    return (code >= CCustomDrawSliderCtrl::LineUp && code <= CCustomDrawSliderCtrl::PageDown)
        || code == CCustomDrawSliderCtrl::ThumbTrack;
}

// A static control shows "&&" as one ampersand and a single '&' not at all (it marks a mnemonic).
QString StaticDisplayText(const QString& stored)
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

std::shared_ptr<ICapturePlatform> PlatformFromEnvironment()
{
    // A build without any backend still opens the window, in the no-scanner state.
    std::shared_ptr<ICapturePlatform> chosen = MakePlatformFromEnvironment();
    return chosen ? chosen : MakeCapturePlatform({});
}

// The platform's 3-D light colour lies between the button face and the highlight. Fusion's Midlight
// is darker than its face, so the colour is mixed here.
QColor ThreeDLightColour(const QPalette& palette)
{
    const QColor face = palette.color(QPalette::Button);
    const QColor light = palette.color(QPalette::Light);
    const QColor between((face.red() + light.red()) / 2, (face.green() + light.green()) / 2,
                         (face.blue() + light.blue()) / 2);
    return between.lightness() > face.lightness() ? between : face.lighter(kLighterThanFacePercent);
}

// The window icon in its drawn sizes; the scalable drawing covers any other size.
QIcon LoadWindowIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 256}) {
        const QString file = QStringLiteral(":/artwork/vistrel-%1.png").arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    if (icon.isNull())
        icon = QIcon(QString::fromLatin1(kWindowIconPath));
    return icon;
}

} // namespace

CVistrelDlg::CVistrelDlg(QWidget* parent)
    : CVistrelDlg(PlatformFromEnvironment(), WindowServices {}, parent)
{
}

CVistrelDlg::CVistrelDlg(std::shared_ptr<ICapturePlatform> platformIn, QWidget* parent)
    : CVistrelDlg(std::move(platformIn), WindowServices {}, parent)
{
}

CVistrelDlg::CVistrelDlg(std::shared_ptr<ICapturePlatform> platformIn, WindowServices servicesIn, QWidget* parent)
    : QDialog(parent)
    , platform(std::move(platformIn))
    , services(std::move(servicesIn))
{
    if (!services.folderChooser)
        services.folderChooser = std::make_shared<SystemFolderChooser>();
    if (!services.folderOpener)
        services.folderOpener = std::make_shared<DesktopFolderOpener>();
    if (!services.prompts)
        services.prompts = std::make_shared<MessageBoxPrompts>();

    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    const QFont dialogFont = DialogFont();
    setFont(dialogFont);
    baseUnits = BaseUnitsFor(dialogFont);

    CreateControls();

    programIcon = LoadWindowIcon();
    engine = std::make_unique<CaptureEngine>(platform, *this);
    settings.saveFolder = DefaultSaveFolder();

    stillTimeout.setSingleShot(true);
    stillTimeout.setInterval(kStillTimeoutMs);
    connect(&stillTimeout, &QTimer::timeout, this, &CVistrelDlg::OnStillTimeout);

    strip = std::make_unique<StripView>(this, thumbnails, imageView);
    saver = std::make_unique<SaveController>(this, *strip);
    connect(strip.get(), &StripView::StripChanged, this, &CVistrelDlg::OnStripChanged);
    connect(saver.get(), &SaveController::SavingChanged, this, &CVistrelDlg::OnSavingChanged);
    saver->SetFailureReporter([this](const QString& text, const QString& details) {
        // Closing with nobody to read it: the entries that failed stay in the journal instead.
        if (closeWithoutQuestion)
            return;
        services.prompts->ShowMessage(this, text, QGuiApplication::applicationDisplayName(), details);
    });
    ConnectHandlers();
#if QT_CONFIG(sessionmanager)
    if (qGuiApp)
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &CVistrelDlg::OnCommitDataRequest,
                Qt::DirectConnection);
#endif

    // The window is complete as soon as it exists: the platform also initialises a dialog before it
    // first appears, and callers (the application, tests) may look at it before showing it.
    OnInitDialog();
}

CVistrelDlg::~CVistrelDlg()
{
    UnregisterDeviceNotifications();
    stillTimeout.stop();
    saver.reset();
    keeper.reset();   // writes what is queued; the strip stays journaled
    // The engine stops capture before the preview surface and the strip go away.
    engine.reset();
    strip.reset();
}

// ---- Creation -----------------------------------------------------------------------------------

void CVistrelDlg::CreateControls()
{
    const DialogLayout& layout = ScannerWindowLayout();
    resize(DialogUnitsToPixels(layout.sizeUnits, baseUnits));

    filmTypeGroup = new QButtonGroup(this);
    resolutionGroup = new QButtonGroup(this);
    filmSizeGroup = new QButtonGroup(this);
    outputFormatGroup = new QButtonGroup(this);
    defaultCustomGroup = new QButtonGroup(this);

    QWidget* previous = nullptr;
    for (const LayoutControl& row : layout.controls) {
        QWidget* widget = CreateControl(row);
        widget->setProperty("controlId", row.id);
        widget->setObjectName(QStringLiteral("id%1").arg(row.id));
        widget->setGeometry(DialogUnitsToPixels(row.units, baseUnits));
        if (!row.Has(TabStop))
            widget->setFocusPolicy(Qt::FocusPolicy(widget->focusPolicy() & ~Qt::TabFocus));
        if (row.Has(Hidden))
            widget->hide();
        if (previous && row.Has(TabStop))
            setTabOrder(previous, widget);
        if (row.Has(TabStop))
            previous = widget;
        controls.emplace(row.id, widget);
        anchors.Add(widget, row.anchor);
    }

    for (int i = 0; i < int(sliders.size()); ++i)
        sliders[i] = Slider(kSliderIds[i]);
    for (int i = 0; i < int(commandButtons.size()); ++i)
        commandButtons[i] = ControlAs<CRoundButtonST>(kCommandButtonIds[i]);
    for (int i = 0; i < int(thumbnails.size()); ++i)
        thumbnails[i] = ControlAs<CButtonST>(IdFirstThumbnail + i);
    chooser = ControlAs<QComboBox>(IdChooser);
    statusLabel = ControlAs<CXLabel>(IdStatus);
    previewLabel = ControlAs<CXLabel>(IdPreview);
    noDeviceLabel = ControlAs<CXLabel>(IdNoScannerText);
    imageView = ControlAs<QLabel>(IdImageView);

    // The live picture lies inside the preview control and covers it.
    previewSurface = new class PreviewSurface(previewLabel);
    previewSurface->setGeometry(previewLabel->rect());
    previewSurface->show();

    notice = new NoticeLine(this);
    notice->PlaceOver(previewLabel->geometry());
}

QWidget* CVistrelDlg::CreateControl(const LayoutControl& row)
{
    const QString text = row.text;
    const bool centred = row.Has(Centred);
    switch (row.kind) {
    case ControlKind::DefPushButton:
    case ControlKind::PushButton: {
        const bool command = std::find(kCommandButtonIds.begin(), kCommandButtonIds.end(), row.id)
            != kCommandButtonIds.end();
        QPushButton* button = nullptr;
        if (command) {
            auto* round = new CRoundButtonST(this);
            if (row.Has(DefaultButton))
                round->SetDefault(true);
            button = round;
        } else if (row.id >= IdFirstThumbnail && row.id <= IdLastThumbnail) {
            button = new CButtonST(this);
        } else {
            button = new QPushButton(this);
            button->setAutoDefault(false);
        }
        button->setText(text);
        return button;
    }
    case ControlKind::Static: {
        if (row.id == IdPreview || row.id == IdStatus || row.id == IdNoScannerText) {
            auto* label = new CXLabel(StaticDisplayText(text), this);
            label->SetTextStyle(centred ? Qt::AlignHCenter : Qt::AlignLeft, !row.Has(VCentred), row.Has(VCentred));
            if (row.Has(Sunken))
                label->SetSunkenEdge(true);
            return label;
        }
        auto* label = new QLabel(StaticDisplayText(text), this);
        label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft)
                            | (row.Has(VCentred) ? Qt::AlignVCenter : Qt::AlignTop));
        if (row.Has(Sunken))
            label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        return label;
    }
    case ControlKind::Picture: {
        auto* picture = new StaticPicture(this);
        picture->setAlignment(Qt::AlignCenter);
        if (row.Has(Sunken))
            picture->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        if (row.id == IdNoScannerPicture)
            picture->setPixmap(QPixmap(QString::fromLatin1(kNoScannerPicturePath)));
        return picture;
    }
    case ControlKind::GroupBox: {
        auto* box = new QGroupBox(text, this);
        if (centred)
            box->setAlignment(Qt::AlignHCenter);
        return box;
    }
    case ControlKind::Slider: {
        auto* slider = new CCustomDrawSliderCtrl(this);
        slider->setOrientation(Qt::Horizontal);
        slider->setTickPosition(QSlider::NoTicks);
        return slider;
    }
    case ControlKind::Radio: {
        auto* radio = new WholeRadioButton(text, this);
        QButtonGroup* group = nullptr;
        if (row.id == IdSlide || row.id == IdNegative || row.id == IdBlackWhite)
            group = filmTypeGroup;
        else if (row.id == IdStandard || row.id == IdHigh)
            group = resolutionGroup;
        else if (row.id == IdFilm135 || row.id == IdFilm126)
            group = filmSizeGroup;
        else if (row.id == IdJpg || row.id == IdTiff)
            group = outputFormatGroup;
        else if (row.id == IdDefault || row.id == IdCustom)
            group = defaultCustomGroup;
        if (group)
            group->addButton(radio, row.id);
        return radio;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(this);
        return edit;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        combo->addItems(LanguageChooserItems());
        combo->setCurrentIndex(-1);
        combo->setMaxVisibleItems(combo->count());
        return combo;
    }
    }
    return new QWidget(this);
}

void CVistrelDlg::ConnectHandlers()
{
    for (int id : kFilmTypeIds)
        connect(ControlAs<QAbstractButton>(id), &QAbstractButton::clicked, this, [this, id] { OnFilmType(id); });
    connect(ControlAs<QAbstractButton>(IdDefault), &QAbstractButton::clicked, this, &CVistrelDlg::OnDefault);
    connect(ControlAs<QAbstractButton>(IdCustom), &QAbstractButton::clicked, this, &CVistrelDlg::OnCustom);
    for (int id : {IdFilm135, IdFilm126})
        connect(ControlAs<QAbstractButton>(id), &QAbstractButton::clicked, this, &CVistrelDlg::OnFilmSize);
    for (int id : {IdStandard, IdHigh})
        connect(ControlAs<QAbstractButton>(id), &QAbstractButton::clicked, this, &CVistrelDlg::OnResolution);
    for (int id : kSliderIds) {
        connect(Slider(id), &CCustomDrawSliderCtrl::Scroll, this,
                [this, id](int code, int) { OnSliderScroll(id, code); });
    }
    connect(chooser, &QComboBox::activated, this, &CVistrelDlg::OnLanguageChosen);
    connect(ControlAs<QAbstractButton>(IdChooseFolder), &QAbstractButton::clicked, this, &CVistrelDlg::OnChooseFolder);
    connect(ControlAs<QAbstractButton>(IdBrowse), &QAbstractButton::clicked, this, &CVistrelDlg::OnBrowse);
    connect(ControlAs<QAbstractButton>(IdScan), &QAbstractButton::clicked, this, &CVistrelDlg::OnScan);
    connect(ControlAs<QAbstractButton>(IdSave), &QAbstractButton::clicked, this, &CVistrelDlg::OnSave);
    connect(ControlAs<QAbstractButton>(IdDelete), &QAbstractButton::clicked, strip.get(), &StripView::DeleteSelected);
    connect(ControlAs<QAbstractButton>(IdMirror), &QAbstractButton::clicked, strip.get(), &StripView::MirrorSelected);
    connect(ControlAs<QAbstractButton>(IdRotate), &QAbstractButton::clicked, strip.get(), &StripView::RotateSelected);
    for (int i = 0; i < int(thumbnails.size()); ++i) {
        const int id = IdFirstThumbnail + i;
        connect(thumbnails[i], &QAbstractButton::clicked, strip.get(), [this, id] { strip->SelectImage(id); });
    }
}

void CVistrelDlg::OnInitDialog()
{
    // The initial data exchange: Slide, Standard, 135, JPG and the default folder.
    UpdateData(false);

    setWindowIcon(programIcon);
    if (minTrackWidth == 0 && minTrackHeight == 0) {
        minTrackWidth = width();
        minTrackHeight = height();
        setMinimumSize(minTrackWidth, minTrackHeight);
    }
    setWindowTitle(QString::fromLatin1(kTitle));
    EnableForScannerAll();
    statusLabel->ShowText(QString());
    noDeviceLabel->SetForeground(QColor(kNoScannerTextColour)).SetPointSize(kNoScannerTextPoints);

    const QColor light = ThreeDLightColour(palette());
    for (CRoundButtonST* button : commandButtons) {
        button->SetDrawBorder(true);
        button->SetColor(CButtonST::HotBack, QColor(kButtonHotColour));
        button->SetColor(CButtonST::NormalBack, light);
        button->update();
    }

    LayOutStrip();
    anchors.Capture(size());
    FocusFirstThumbnail();
    ApplyLanguage();

    // Listen before the first search: a scanner that arrives while it runs is then not missed. Its
    // arrival is handled after this search, and finds the scanner attached or attaches it.
    RegisterDeviceNotifications();

    std::shared_ptr<IBaseFilter> found;
    if (engine->FindScanner(nullptr, &engine->ScannerPath(), &found))
        AttachScanner(std::move(found));
    else
        ReportUnusableScanner();
}

void CVistrelDlg::LayOutStrip()
{
    strip->LayOutStrip();
}

void CVistrelDlg::RegisterDeviceNotifications()
{
    // Arrivals and removals come on any thread; they are handled on the window's.
    deviceNotification = engine->RegisterDeviceNotification([this](const DeviceChange& change) {
        QMetaObject::invokeMethod(this, [this, change] { OnDeviceChange(change); }, Qt::QueuedConnection);
    });
}

void CVistrelDlg::UnregisterDeviceNotifications()
{
    if (deviceNotification != 0 && engine) {
        engine->UnregisterDeviceNotification(deviceNotification);
        deviceNotification = 0;
    }
}

// ---- Controls -----------------------------------------------------------------------------------

QWidget* CVistrelDlg::Control(int id) const
{
    auto found = controls.find(id);
    return found == controls.end() ? nullptr : found->second;
}

CCustomDrawSliderCtrl* CVistrelDlg::Slider(int id) const
{
    return ControlAs<CCustomDrawSliderCtrl>(id);
}

void CVistrelDlg::SetControlText(int id, const QString& text)
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

void CVistrelDlg::EnableControl(int id, bool enable)
{
    if (id == 0)
        return;
    if (QWidget* widget = Control(id))
        widget->setEnabled(enable);
}

void CVistrelDlg::FocusFirstThumbnail()
{
    if (thumbnails[0]->isEnabled()) {
        thumbnailFocusPending = false;
        thumbnails[0]->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A disabled control cannot hold the focus here: the window keeps it, so typing goes nowhere,
    // and hands it to the thumbnail once that becomes usable.
    thumbnailFocusPending = true;
    setFocus(Qt::OtherFocusReason);
}

int CVistrelDlg::CheckedPosition(QButtonGroup* group) const
{
    const QList<QAbstractButton*> buttons = group->buttons();
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked())
            return i;
    }
    return -1;
}

void CVistrelDlg::SetCheckedPosition(QButtonGroup* group, int position)
{
    const QList<QAbstractButton*> buttons = group->buttons();
    // An exclusive group refuses to uncheck its last checked button; lift that for the moment.
    group->setExclusive(false);
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setChecked(i == position);
    group->setExclusive(true);
}

void CVistrelDlg::CheckRadio(int firstId, int lastId, int checkId)
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

void CVistrelDlg::UpdateData(bool saveAndValidate)
{
    const std::array<std::pair<QButtonGroup*, std::int32_t*>, 4> groups {{
        {filmTypeGroup, &settings.filmType},
        {resolutionGroup, &settings.resolution},
        {filmSizeGroup, &settings.filmSize},
        {outputFormatGroup, &settings.outputFormat},
    }};
    auto* folderBox = ControlAs<QLineEdit>(IdFolderBox);
    if (saveAndValidate) {
        for (auto [group, field] : groups)
            *field = CheckedPosition(group);
        settings.saveFolder = folderBox->text();
    } else {
        for (auto [group, field] : groups)
            SetCheckedPosition(group, *field);
        folderBox->setText(settings.saveFolder);
    }
}

// ---- Language -----------------------------------------------------------------------------------

void CVistrelDlg::ApplyLanguage()
{
    for (auto [stringId, controlId] : kLanguageTexts) {
        bool found = false;
        const QString text = LoadLocalizedText(stringId, &found);
        if (found && !text.isEmpty())
            SetControlText(controlId, text);
    }
    bool found = false;
    const QString connect = LoadLocalizedText(IdsConnectScanner, &found);
    if (found && !connect.isEmpty())
        noDeviceLabel->ShowText(connect);
    statusLabel->ShowText(QString());
    // A long translation gets a smaller face rather than being cut off.
    for (auto [stringId, controlId] : kLanguageTexts)
        FitTextToControl(Control(controlId), font());
    // Our own texts showing at the moment follow the language too.
    notice->Relabel();
    if (saver)
        saver->Relabel();
    if (strip)
        NameControlsForAccessibility();
}

void CVistrelDlg::OnLanguageChosen(int index)
{
    if (index < 0 || index >= int(LanguageChoice.size()))
        return;
    SetCurrentUiLanguage(LanguageChoice[index].language);
    ApplyLanguage();
}

// ---- Scanner presence ---------------------------------------------------------------------------

bool CVistrelDlg::IsScannerAttached() const
{
    return engine && engine->ScannerFilter() != nullptr;
}

bool CVistrelDlg::IsSaving() const
{
    return saver && saver->IsSaving();
}

std::optional<bool> CVistrelDlg::EnabledByRule(int id) const
{
    if (std::find(kAlwaysUsable.begin(), kAlwaysUsable.end(), id) != kAlwaysUsable.end())
        return std::nullopt;
    return IsScannerAttached() && !(IsSaving() && IsStripCommand(id));
}

void CVistrelDlg::EnableForScanner(QWidget* child)
{
    if (const std::optional<bool> enabled = EnabledByRule(child->property("controlId").toInt()))
        child->setEnabled(*enabled);
}

void CVistrelDlg::EnableForScannerAll()
{
    // Disabling controls pushes the focus about: a disabled focused control hands it on, and a
    // disabled button hands it to the next tab stop even when it did not hold it. That may be a
    // slider the next arrow key moves, or the folder box, which selects its whole path. So the
    // focus stays where it was while that control stays usable; otherwise the window holds it, as a
    // disabled control would keep it on the platform, and gives it to the first thumbnail once that
    // is usable.
    QWidget* const before = focusWidget();
    const bool heldByControl = before && before != this;
    // The folder box keeps the user's cursor and selection through the handing about.
    auto* const edit = qobject_cast<QLineEdit*>(before);
    const int cursor = edit ? edit->cursorPosition() : 0;
    const int selectionStart = edit ? edit->selectionStart() : -1;
    const int selectionLength = edit ? edit->selectionLength() : 0;
    if (heldByControl) {
        const auto owner = std::find_if(controls.begin(), controls.end(), [before](const auto& entry) {
            return entry.second == before || entry.second->isAncestorOf(before);
        });
        if (owner != controls.end() && EnabledByRule(owner->first) == std::optional<bool>(false))
            setFocus(Qt::OtherFocusReason);
    }
    for (auto& [id, widget] : controls)
        EnableForScanner(widget);

    if (heldByControl && before->isEnabled() && before->isVisible()) {
        if (focusWidget() != before)
            before->setFocus(Qt::OtherFocusReason);
        if (edit && selectionStart >= 0)
            edit->setSelection(selectionStart, selectionLength);
        else if (edit)
            edit->setCursorPosition(cursor);
        return;
    }
    thumbnailFocusPending = thumbnailFocusPending || heldByControl;
    if (thumbnailFocusPending && thumbnails[0]->isEnabled()) {
        thumbnailFocusPending = false;
        thumbnails[0]->setFocus(Qt::OtherFocusReason);
    } else if (before && focusWidget() != this) {
        setFocus(Qt::OtherFocusReason);
    }
}

void CVistrelDlg::NarrowByPropertySlots()
{
    if (!IsScannerAttached())
        return;
    for (int family : {kVideoProcAmpFamily, kCameraControlFamily}) {
        const int count = family == kVideoProcAmpFamily ? CaptureEngine::kVideoProcAmpCount
                                                        : CaptureEngine::kCameraControlCount;
        for (int index = 0; index < count; ++index) {
            const CameraProperty& slot = engine->Property(family, index);
            if (!slot.inUse || slot.supported)
                continue;
            if (slot.controlKind == kSliderControl) {
                for (int id : {slot.captionId, slot.sliderId, slot.valueTextId})
                    EnableControl(id, false);
            } else if (slot.controlKind == kRadioGroupControl && slot.firstRadioId && slot.lastRadioId >= slot.firstRadioId) {
                for (int id = slot.firstRadioId; id <= slot.lastRadioId; ++id)
                    EnableControl(id, false);
            }
        }
    }
}

void CVistrelDlg::ApplyEnablingRule()
{
    EnableForScannerAll();
    // The strip's changes must not unlock controls that the property slots keep disabled (the
    // colour sliders under Black & White, properties the scanner lacks).
    NarrowByPropertySlots();
}

HRESULT CVistrelDlg::AttachScanner(std::shared_ptr<IBaseFilter> filter)
{
    DetachScanner();
    engine->SetScannerFilter(std::move(filter));
    Control(IdNoScannerPicture)->hide();
    noDeviceLabel->hide();
    EnableForScannerAll();
    statusLabel->ShowText(QString());
    engine->ReadCameraProperties();
    engine->ApplyFilmPreset(Negative);
    RefreshAllPropertyControls();
    engine->StartCapture();
    ReportLimitedScanner();
    return S_OK;
}

HRESULT CVistrelDlg::DetachScanner()
{
    StopStillTimer();
    engine->StopCapture();
    engine->SetScannerFilter(nullptr);
    engine->ReleasePropertyInterfaces();
    EnableForScannerAll();
    statusLabel->ShowText(QString());
    stillCount = 0;
    Control(IdNoScannerPicture)->show();
    noDeviceLabel->show();
    return S_OK;
}

void CVistrelDlg::ShowCaptureStatus(int kind, int messageId)
{
    if (kind == 0 || messageId == 0) {
        statusLabel->ShowText(QString());
        return;
    }
    const QColor colour(kind == 1 ? kStillArrivedColour : kStillMissingColour);
    statusLabel->ShowText(QString::number(stillCount));
    statusLabel->SetForeground(colour).SetBold(true).SetPointSize(kStatusPoints);
    statusLabel->SetBackground(QColor(kStatusBackground), QColor(0, 0, 0), false);
}

void CVistrelDlg::OnDeviceChange(const DeviceChange& change)
{
    if (closing || change.interfaceClass != KSCATEGORY_CAPTURE)
        return;
    if (change.event == DBT_DEVICEARRIVAL) {
        if (IsScannerAttached())
            return;
        std::shared_ptr<IBaseFilter> found;
        if (engine->FindScanner(&change.name, &engine->ScannerPath(), &found))
            AttachScanner(std::move(found));
        else
            ReportUnusableScanner();
    } else if (change.event == DBT_DEVICEREMOVECOMPLETE) {
        if (IsScannerAttached() && CaptureEngine::PathsEqualIgnoringCase(change.name, engine->ScannerPath()))
            DetachScanner();
    }
}

// A scanner that is there but cannot be opened (permissions) is named with the reason and the fix,
// rather than leaving only "Please connect to scanner".
void CVistrelDlg::ReportUnusableScanner()
{
    for (const UnusableDevice& device : platform->UnusableDevices()) {
        if (CaptureEngine::PathNamesScanner(device.name)) {
            notice->Show([reason = device.reason] { return ReasonText(reason); }, NoticeLine::Stays);
            return;
        }
    }
}

// A scanner that runs, but not fully (the video driver has it because the program may not reach its USB
// device), is named once per run with what is lost and how to get it back.
void CVistrelDlg::ReportLimitedScanner()
{
    if (limitedScannerReported)
        return;
    for (const UnusableDevice& device : platform->UnusableDevices()) {
        if (CaptureEngine::PathsEqualIgnoringCase(device.name, engine->ScannerPath())) {
            notice->Show([reason = device.reason] { return ReasonText(reason); }, NoticeLine::Stays);
            limitedScannerReported = true;
            return;
        }
    }
}

// ---- Property controls --------------------------------------------------------------------------

HRESULT CVistrelDlg::RefreshPropertyControls(const CameraProperty& slot)
{
    if (slot.controlKind == kSliderControl) {
        for (int id : {slot.captionId, slot.sliderId, slot.valueTextId})
            EnableControl(id, slot.supported);
        if (slot.supported) {
            if (CCustomDrawSliderCtrl* slider = Slider(slot.sliderId)) {
                const QSignalBlocker quiet(slider);
                slider->setRange(slot.minimum, slot.maximum);
                slider->setPageStep(slot.pageSize);
                slider->setSingleStep(slot.step);
                slider->setValue(slot.value);
            }
            if (slot.valueTextId)
                SetControlText(slot.valueTextId, QString::number(slot.value));
        }
        return S_OK;
    }
    if (slot.controlKind == kRadioGroupControl) {
        EnableControl(slot.captionId, slot.supported);
        const bool haveGroup = slot.firstRadioId != 0 && slot.lastRadioId != 0 && slot.lastRadioId >= slot.firstRadioId;
        if (haveGroup) {
            for (int id = slot.firstRadioId; id <= slot.lastRadioId; ++id)
                EnableControl(id, slot.supported);
        }
        // A value outside the group checks nothing rather than some unrelated control. A film mode the
        // device does not offer holds the preset last applied, never a value read from the device.
        if (haveGroup)
            CheckRadio(slot.firstRadioId, slot.lastRadioId, slot.firstRadioId + slot.value);
        return S_OK;
    }
    return E_FAIL;
}

HRESULT CVistrelDlg::RefreshAllPropertyControls()
{
    for (int index = 0; index < CaptureEngine::kVideoProcAmpCount; ++index)
        RefreshPropertyControls(engine->Property(kVideoProcAmpFamily, index));
    for (int index = 0; index < CaptureEngine::kCameraControlCount; ++index)
        RefreshPropertyControls(engine->Property(kCameraControlFamily, index));
    return S_OK;
}

void CVistrelDlg::CheckDefaultCustom(bool defaultChecked)
{
    CheckRadio(IdDefault, IdCustom, defaultChecked ? IdDefault : IdCustom);
}

// ---- Settings handlers --------------------------------------------------------------------------

void CVistrelDlg::OnFilmType(int radioId)
{
    if (!IsScannerAttached())
        return;
    const auto position = std::find(kFilmTypeIds.begin(), kFilmTypeIds.end(), radioId) - kFilmTypeIds.begin();
    if (position >= std::ssize(kFilmTypeIds))
        return;
    engine->ApplyFilmPreset(static_cast<FilmType>(position));
}

void CVistrelDlg::OnDefault()
{
    engine->RestoreDefaultProperties();
}

void CVistrelDlg::OnCustom()
{
    CheckDefaultCustom(true);
}

void CVistrelDlg::OnSliderScroll(int sliderId, int code)
{
    if (!IsHandledScrollCode(code))
        return;
    const CameraProperty* bound = engine->SlotForSlider(sliderId);
    CCustomDrawSliderCtrl* slider = Slider(sliderId);
    if (!bound || !slider)
        return;
    UpdateData(true);
    CameraProperty& slot = engine->Property(bound->family, bound->index);
    slot.value = slider->sliderPosition();
    engine->SetCameraProperty(slot);
    SetControlText(slot.valueTextId, QString::number(slot.value));
    CheckDefaultCustom(false);
}

void CVistrelDlg::OnFilmSize()
{
    if (!IsScannerAttached())
        return;
    UpdateData(true);
    engine->StopCapture();
    engine->StartCapture();
}

void CVistrelDlg::OnResolution()
{
    UpdateData(true);
}

// ---- Save folder --------------------------------------------------------------------------------

void CVistrelDlg::OnChooseFolder()
{
    UpdateData(true);
    const std::optional<QString> chosen = services.folderChooser->ChooseFolder(this, settings.saveFolder);
    if (!chosen || chosen->isEmpty())
        return;
    // While the dialog was open a replug may have reset the film type: write back what the controls
    // show now, not what they showed before.
    UpdateData(true);
    settings.saveFolder = WithTrailingSeparator(*chosen);
    UpdateData(false);
}

void CVistrelDlg::OnBrowse()
{
    FocusFirstThumbnail();
    const ResolvedSaveFolder folder = ResolveSaveFolder(settings.saveFolder);
    services.folderOpener->OpenFolder(folder.check == SaveFolderCheck::Ok ? folder.path : settings.saveFolder);
}

// ---- Scan, stills and the time-out --------------------------------------------------------------

void CVistrelDlg::StartStillTimer()
{
    stillTimeout.start();   // a second Scan restarts the same timer
    stillTimer = kStillTimerId;
}

void CVistrelDlg::StopStillTimer()
{
    if (stillTimer != 0) {
        stillTimeout.stop();
        stillTimer = 0;
    }
}

void CVistrelDlg::OnScan()
{
    FocusFirstThumbnail();
    if (!IsScannerAttached() || IsSaving())
        return;
    if (strip->Strip().Count() >= ImageStrip::kMaxEntries) {
        services.prompts->ShowMessage(this, LoadLocalizedText(IdsStripFull), QString::fromLatin1(kApplicationName));
        return;
    }
    if (!engine->HasGraph())
        return;
    engine->TriggerStill();
    StartStillTimer();
}

std::int32_t CVistrelDlg::OnStillFrame(double, const std::uint8_t* bytes, std::int32_t length)
{
    // Streaming thread: copy the frame and note the time; everything else happens on the window's thread.
    if (!bytes || length <= 0)
        return 0;
    auto copy = std::make_shared<const std::vector<std::uint8_t>>(bytes, bytes + length);
    const CaptureTime arrival = LocalTimeNow();
    QMetaObject::invokeMethod(
        this, [this, copy = FrameBytes(std::move(copy)), arrival] { AddStill(copy, arrival); }, Qt::QueuedConnection);
    return 0;
}

void CVistrelDlg::AddStill(FrameBytes bytes, CaptureTime arrival)
{
    if (closing || !bytes || bytes->empty())
        return;
    std::int32_t decodedWidth = 0;
    std::int32_t decodedHeight = 0;
    const auto size = static_cast<std::int32_t>(bytes->size());
    const StillCheck check = CheckStill(bytes->data(), size, &decodedWidth, &decodedHeight);
    if (check != StillCheck::Ok) {
        const bool tooLarge = check == StillCheck::TooLarge;
        const Reason why = tooLarge ? Reason(ReasonCode::StillTooLarge).WithSize(decodedWidth, decodedHeight)
                                    : Reason(ReasonCode::StillDamaged);
        qCWarning(lcStill).noquote() << "a still of" << size << "bytes was refused:" << ReasonLogText(why).c_str();
        // The scanner did deliver: the time-out must not replace this notice with its own.
        StopStillTimer();
        notice->Show([tooLarge, width = decodedWidth, height = decodedHeight] {
            return tooLarge ? LocalizedText(IdsStillTooLarge, {QString::number(width), QString::number(height)})
                            : LocalizedText(IdsStillDamaged);
        });
        return;
    }

    CapturedImage entry;
    entry.id = NextImageId();
    entry.frameData = std::move(bytes);
    entry.frameSize = size;
    entry.captureTime = arrival;
    entry.filmType = engine->FilmTypeValue();
    entry.filmSize = settings.filmSize;
    entry.resolution = settings.resolution;
    const StillFormat& format = engine->CurrentStillFormat();
    // Without a still format read from the device the picture's own size is the only one known.
    const bool haveFormat = format.width > 0 && format.height > 0;
    entry.frameWidth = haveFormat ? format.width : decodedWidth;
    entry.frameHeight = haveFormat ? format.height : decodedHeight;

    if (strip->AppendStill(std::move(entry)) < 0)
        return;   // full: dropped, and the time-out keeps running
    StopStillTimer();
    ++stillCount;
    ShowCaptureStatus(1, IdsSaveSuccess);
    notice->Dismiss();
}

void CVistrelDlg::OnStillTimeout()
{
    qCWarning(lcStill) << "no still arrived within" << kStillTimeoutMs << "ms of the trigger";
    StopStillTimer();
    ++stillCount;
    ShowCaptureStatus(2, IdsSaveFailed);
    --stillCount;
    // The indicator above stays hidden, as the layout has it; the user hears of the failure here.
    notice->Show([] { return LocalizedText(IdsStillMissing); });
}

// ---- Strip and save -----------------------------------------------------------------------------

void CVistrelDlg::OnSave()
{
    FocusFirstThumbnail();
    if (IsSaving())
        return;
    UpdateData(true);
    if (strip->Strip().Count() == 0) {
        saver->Save(settings.saveFolder, settings.outputFormat);   // writes nothing, resets the strip
        return;
    }
    // The box keeps what was typed; the files go to the folder it means, or nowhere with a reason.
    const ResolvedSaveFolder folder = ResolveSaveFolder(settings.saveFolder);
    if (folder.check != SaveFolderCheck::Ok) {
        const StringId why = folder.check == SaveFolderCheck::NotFullPath ? IdsSaveFolderNotFullPath
                                                                         : IdsSaveFolderNameUnreadable;
        services.prompts->ShowMessage(this, LoadLocalizedText(why), QGuiApplication::applicationDisplayName());
        return;
    }
    saver->Save(folder.path, settings.outputFormat);
}

void CVistrelDlg::OnStripChanged()
{
    ApplyEnablingRule();
    statusLabel->ShowText(QString());
    NameControlsForAccessibility();
}

void CVistrelDlg::NameControlsForAccessibility()
{
    for (auto [sliderId, labelId] : kSliderLabels) {
        if (auto* label = ControlAs<QLabel>(labelId))
            Control(sliderId)->setAccessibleName(label->text());
    }
    Control(IdFolderBox)->setAccessibleName(LocalizedText(IdsFolderBoxName));
    Control(IdChooseFolder)->setAccessibleName(LocalizedText(IdsChooseFolderName));
    const int count = strip->Strip().Count();
    for (int i = 0; i < int(thumbnails.size()); ++i) {
        thumbnails[i]->setAccessibleName(i < count
                                             ? LocalizedText(IdsThumbnailName, {QString::number(i + 1), QString::number(count)})
                                             : LocalizedText(IdsEmptyThumbnailName));
    }
}

void CVistrelDlg::OnSavingChanged(bool saving)
{
    ApplyEnablingRule();
    if (!saving && !IsSaving() && closeAfterSave) {
        closeAfterSave = false;
        reject();
    }
}

// ---- Engine services ----------------------------------------------------------------------------

std::int32_t CVistrelDlg::CurrentFilmSize()
{
    return settings.filmSize;
}

void CVistrelDlg::PreviewArea(std::int32_t* width, std::int32_t* height)
{
    if (width)
        *width = previewLabel->width();
    if (height)
        *height = previewLabel->height();
}

IVideoSurface* CVistrelDlg::PreviewSurface()
{
    return previewSurface;
}

void CVistrelDlg::SetPreviewBackgroundBlack()
{
    previewLabel->SetBackground(QColor(0, 0, 0));
}

void CVistrelDlg::ReportError(const Reason& reason)
{
    // The engine is inside an operation that holds its graph; the box runs an event loop of its own
    // (unplug, stills, the end of a save), so it opens only once that operation has returned.
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            if (!closing)
                services.prompts->ShowMessage(this, ReasonText(reason), LocalizedText(IdsErrorCaption));
        },
        Qt::QueuedConnection);
}

void CVistrelDlg::OnScannerButton()
{
    // A device thread: the press is the Scan command, on the window's thread, with all its checks.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!closing)
                OnScan();
        },
        Qt::QueuedConnection);
}

void CVistrelDlg::OnDeviceRequestFailed(const DeviceRequestFailure& failure)
{
    // The device queue's thread: the window hears of it on its own.
    QMetaObject::invokeMethod(
        this,
        [this, failure] {
            if (!closing)
                emit DeviceRequestFailed(failure);
        },
        Qt::QueuedConnection);
}

// ---- Window events ------------------------------------------------------------------------------

void CVistrelDlg::accept()
{
    // The confirm command does nothing: Enter must not end the window.
}

void CVistrelDlg::reject()
{
    if (closing)
        return;
    if (IsSaving()) {
        // The files being written belong to the strip: close once the save has finished.
        closeAfterSave = true;
        return;
    }
    if (strip->Strip().Count() > 0 && !closeWithoutQuestion) {
        if (askingToDiscard)
            return;   // a second close request while the question is open
        const QString question = LocalizedText(IdsDiscardUnsaved);
        askingToDiscard = true;
        const bool discard = services.prompts->Ask(this, question, QString::fromLatin1(kTitle));
        askingToDiscard = false;
        if (!discard || closing)
            return;
        if (keeper)
            keeper->Discard();
    }
    CloseHandling();
    QDialog::reject();
}

void CVistrelDlg::CloseHandling()
{
    closing = true;
    if (keeper)
        keeper->KeepForNextStart();   // after a discard the journal is empty already
    UnregisterDeviceNotifications();
    StopStillTimer();
    engine->StopCapture();
    strip->ClearStrip();
}

void CVistrelDlg::KeepStripIn(std::unique_ptr<StripJournal> journal)
{
    if (!journal || keeper)
        return;
    keeper = std::make_unique<StripKeeper>(*strip, std::move(journal));
    if (Wording restored = keeper->Restore())
        notice->Show(std::move(restored), NoticeLine::Stays);
}

void CVistrelDlg::CloseWithoutQuestion()
{
    if (closing)
        return;
    closeWithoutQuestion = true;
    // A box that is open has nobody to answer it now: it ends as cancelled (a question as "keep"),
    // and the close goes on. The progress of a save stays until the save is done.
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (box && box != this && !qobject_cast<QProgressDialog*>(box))
        box->reject();
    reject();
}

#if QT_CONFIG(sessionmanager)
void CVistrelDlg::OnCommitDataRequest(QSessionManager& manager)
{
    // Unsaved stills survive the session's end in the journal; the question only lets the user
    // stop the logout to save them first, or discard them.
    if (closing || IsSaving() || askingToDiscard || strip->Strip().Count() == 0 || !manager.allowsInteraction())
        return;
    askingToDiscard = true;
    const bool discard = services.prompts->Ask(this, LoadLocalizedText(IdsDiscardUnsaved), QString::fromLatin1(kTitle));
    askingToDiscard = false;
    manager.release();
    if (closing)
        return;
    if (!discard) {
        manager.cancel();
        return;
    }
    if (keeper)
        keeper->Discard();
    CloseHandling();
    QDialog::reject();
}
#endif

void CVistrelDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (minTrackWidth > 0 && (width() < minTrackWidth || height() < minTrackHeight)) {
        // Without a window manager nobody enforces the minimum size: the window restores it itself.
        const QSize allowed = size().expandedTo(QSize(minTrackWidth, minTrackHeight));
        QMetaObject::invokeMethod(this, [this, allowed] { resize(allowed); }, Qt::QueuedConnection);
    }
    anchors.Apply(size());
    previewSurface->setGeometry(previewLabel->rect());
    notice->PlaceOver(previewLabel->geometry());
    if (engine && engine->HasGraph())
        engine->ShowPreview(true);
}

void CVistrelDlg::paintEvent(QPaintEvent* event)
{
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    painter.fillRect(rect(), palette().window());
    const QPoint at((width() - iconSize + 1) / 2, (height() - iconSize + 1) / 2);
    programIcon.paint(&painter, QRect(at, QSize(iconSize, iconSize)));
}

void CVistrelDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();   // no default command
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vistrel
