#include "window/VistrelDlg.h"

#include "app/Localization.h"
#include "controls/CButtonST.h"
#include "controls/CCustomDrawSliderCtrl.h"
#include "controls/CRoundButtonST.h"
#include "controls/CXLabel.h"
#include "window/AdjustmentsPanel.h"
#include "window/LayoutTable.h"
#include "window/NoticeLine.h"
#include "window/PreviewSurface.h"
#include "window/ReasonText.h"
#include "window/SaveController.h"
#include "window/ScannerPresence.h"
#include "window/StripKeeper.h"
#include "window/StripView.h"
#include "window/WindowControls.h"

#include "capture/SelectPlatform.h"
#include "capture/runtime/CapturePlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressDialog>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif
#include <QStyle>

#include <utility>

namespace vistrel {

namespace {

constexpr const char* kWindowIconPath = ":/artwork/vistrel.svg";
constexpr int kLighterThanFacePercent = 106;

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
    adjustments = std::make_unique<AdjustmentsPanel>(*windowControls, *engine);
    presence = std::make_unique<ScannerPresence>(*this, *windowControls, *engine, *platform, *notice,
                                                 [this] { return IsSaving(); });
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
    presence.reset();
    adjustments.reset();
    // The engine stops capture (and joins its device queue) before the preview surface and the strip go away.
    engine.reset();
    strip.reset();
}

// ---- Creation -----------------------------------------------------------------------------------

void CVistrelDlg::CreateControls()
{
    const DialogLayout& layout = ScannerWindowLayout();
    resize(DialogUnitsToPixels(layout.sizeUnits, baseUnits));

    windowControls = std::make_unique<WindowControls>(*this, anchors);
    windowControls->Create(layout, baseUnits);

    for (int i = 0; i < int(sliders.size()); ++i)
        sliders[i] = ControlAs<CCustomDrawSliderCtrl>(kSliderIds[i]);
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
        connect(ControlAs<CCustomDrawSliderCtrl>(id), &CCustomDrawSliderCtrl::Scroll, this,
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
#if defined(Q_OS_WIN)
    // The system sends arrivals and removals to this window; the toolkit's loop hands them over.
    platform->DeviceNotifications().SetMessageWindow(static_cast<std::uintptr_t>(winId()));
    deviceChangeFilter = std::make_unique<DeviceChangeFilter>(platform->DeviceNotifications());
    QCoreApplication::instance()->installNativeEventFilter(deviceChangeFilter.get());
#endif
    presence->RegisterDeviceNotifications([this](const DeviceChange& change) { OnDeviceChange(change); });
}

void CVistrelDlg::UnregisterDeviceNotifications()
{
    if (deviceChangeFilter) {
        QCoreApplication::instance()->removeNativeEventFilter(deviceChangeFilter.get());
        deviceChangeFilter.reset();
    }
    if (presence)
        presence->UnregisterDeviceNotifications();
}

// ---- Controls -----------------------------------------------------------------------------------

QWidget* CVistrelDlg::Control(int id) const
{
    return windowControls ? windowControls->Control(id) : nullptr;
}

void CVistrelDlg::SetControlText(int id, const QString& text)
{
    windowControls->SetControlText(id, text);
}

void CVistrelDlg::FocusFirstThumbnail()
{
    presence->FocusFirstThumbnail();
}

void CVistrelDlg::UpdateData(bool saveAndValidate)
{
    const std::array<std::pair<QButtonGroup*, std::int32_t*>, 4> groups {{
        {windowControls->FilmTypeGroup(), &settings.filmType},
        {windowControls->ResolutionGroup(), &settings.resolution},
        {windowControls->FilmSizeGroup(), &settings.filmSize},
        {windowControls->OutputFormatGroup(), &settings.outputFormat},
    }};
    auto* folderBox = ControlAs<QLineEdit>(IdFolderBox);
    if (saveAndValidate) {
        for (auto [group, field] : groups)
            *field = WindowControls::CheckedPosition(group);
        settings.saveFolder = folderBox->text();
    } else {
        for (auto [group, field] : groups)
            WindowControls::SetCheckedPosition(group, *field);
        folderBox->setText(settings.saveFolder);
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
