#pragma once

#include "capture/contract/Platform.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/engine/ICaptureHost.h"
#include "ids/ControlIds.h"
#include "images/CaptureTime.h"
#include "images/CapturedImage.h"
#include "window/AnchorLayout.h"
#include "window/DeviceChangeFilter.h"
#include "window/DialogUnits.h"
#include "window/SaveFolder.h"
#include "window/UserPrompts.h"

#include <QDialog>
#include <QIcon>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QSessionManager;

namespace vistrel {

class AdjustmentsPanel;
class CButtonST;
class CCustomDrawSliderCtrl;
class CRoundButtonST;
class CXLabel;
class NoticeLine;
class PreviewSurface;
class SaveController;
class ScannerPresence;
class StripJournal;
class StripKeeper;
class StripView;
class WindowControls;

// The user's choices held by the window; exchanged with the radio groups and the folder box only
// when a handler asks for it (UpdateData).
struct ScanSettings
{
    std::int32_t filmType = 0;
    std::int32_t resolution = 0;
    std::int32_t filmSize = 0;
    std::int32_t outputFormat = 0;
    QString saveFolder;
};

// Services the window reaches the desktop through; null members get the system's own.
struct WindowServices
{
    std::shared_ptr<IFolderChooser> folderChooser;
    std::shared_ptr<IFolderOpener> folderOpener;
    std::shared_ptr<IUserPrompts> prompts;
};

// The scanner window: the live picture, the adjustments, the option groups, the save folder and
// the strip of captured images. Owns the capture engine of its scanner. Its controls, the adjustments
// panel and the scanner's presence are classes of their own; the window keeps the handlers.
class CVistrelDlg : public QDialog, public ICaptureHost
{
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Tavrik Film Scanner";
    static constexpr const char* kApplicationName = "vistrel";    // caption of the full-strip message
    static constexpr int kStillTimerId = 1;
    static constexpr int kStillTimeoutMs = 2000;
    static constexpr QRgb kNoScannerTextColour = qRgb(244, 67, 54);
    static constexpr int kNoScannerTextPoints = 20;
    static constexpr QRgb kButtonHotColour = qRgb(255, 128, 0);
    static constexpr QRgb kStillArrivedColour = qRgb(0, 122, 217);
    static constexpr QRgb kStillMissingColour = qRgb(255, 0, 0);
    static constexpr QRgb kStatusBackground = qRgb(255, 255, 0);
    static constexpr int kStatusPoints = 32;

    // The devices named by the environment (VISTREL_SIMULATOR), else the real ones.
    explicit CVistrelDlg(QWidget* parent = nullptr);
    CVistrelDlg(std::shared_ptr<ICapturePlatform> platform, QWidget* parent = nullptr);
    CVistrelDlg(std::shared_ptr<ICapturePlatform> platform, WindowServices services, QWidget* parent = nullptr);
    ~CVistrelDlg() override;

    // ICaptureHost
    std::int32_t CurrentFilmSize() override;
    void PreviewArea(std::int32_t* width, std::int32_t* height) override;
    IVideoSurface* PreviewSurface() override;
    void SetPreviewBackgroundBlack() override;
    void ReportError(const Reason& reason) override;
    void OnScannerButton() override;
    void OnDeviceRequestFailed(const DeviceRequestFailure& failure) override;
    std::int32_t OnStillFrame(double sampleTime, const std::uint8_t* bytes, std::int32_t length) override;
    HRESULT RefreshPropertyControls(const CameraProperty& slot) override;
    HRESULT RefreshAllPropertyControls() override;
    void CheckDefaultCustom(bool defaultChecked) override;

    // Window operations.
    void ApplyLanguage();
    void EnableForScanner(QWidget* child);
    void EnableForScannerAll();
    HRESULT AttachScanner(std::shared_ptr<IBaseFilter> filter);
    HRESULT DetachScanner();
    void ShowCaptureStatus(int kind, int messageId);
    bool IsScannerAttached() const;

    // Data exchange: true reads the controls into the settings, false writes the settings into them.
    void UpdateData(bool saveAndValidate);
    const ScanSettings& Settings() const { return settings; }

    // Handlers, public so that tests can drive them exactly as the controls do.
    void OnScan();
    void OnFilmType(int radioId);
    void OnDefault();
    void OnCustom();
    void OnSliderScroll(int sliderId, int code);
    void OnFilmSize();
    void OnResolution();
    void OnLanguageChosen(int index);
    void OnChooseFolder();
    void OnBrowse();
    void OnSave();
    void OnDeviceChange(const DeviceChange& change);
    void ReportUnusableScanner();
    void ReportLimitedScanner();
    void OnStillTimeout();
    // The still's arrival on the window thread: checks, appends, stops the time-out, counts.
    void AddStill(FrameBytes bytes, CaptureTime arrival);

    // State for tests and the strip.
    QWidget* Control(int id) const;
    template <class T> T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }
    CaptureEngine& Engine() { return *engine; }
    StripView& Strip() { return *strip; }
    class PreviewSurface& Surface() { return *previewSurface; }
    int StillCount() const { return stillCount; }
    int StillTimerId() const { return stillTimer; }
    const QTimer& StillTimer() const { return stillTimeout; }
    const NoticeLine& Notice() const { return *notice; }
    QSize MinTrackSize() const { return QSize(minTrackWidth, minTrackHeight); }
    DialogBaseUnits BaseUnits() const { return baseUnits; }
    bool IsSaving() const;

    // Keeps the strip in this journal from now on, after putting back what a previous run left in it.
    void KeepStripIn(std::unique_ptr<StripJournal> journal);

signals:
    // A request the scanner's queue could not carry out, on the window thread. The user sees nothing
    // new: the failure is logged, and the controls keep what the user chose.
    void DeviceRequestFailed(const vistrel::DeviceRequestFailure& failure);

public slots:
    // A close nobody can answer (a signal, the session ending): a running save finishes first, and
    // unsaved stills stay in the journal for the next start.
    void CloseWithoutQuestion();
    void accept() override;   // Enter: the confirm command does nothing
    void reject() override;   // Escape and the close box: asks before unsaved images are discarded

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void OnInitDialog();
    void LayOutStrip();
    void RegisterDeviceNotifications();
    void UnregisterDeviceNotifications();
    void CloseHandling();
    void ApplyEnablingRule();
    void OnStripChanged();
    // Accessible names in the user's language: the sliders by their labels, the folder box, its
    // button, and the thumbnails by their place in the strip.
    void NameControlsForAccessibility();
    void OnSavingChanged(bool saving);
#if QT_CONFIG(sessionmanager)
    // The session is ending: asks about unsaved stills when the session lets us.
    void OnCommitDataRequest(QSessionManager& manager);
#endif
    void FocusFirstThumbnail();
    void StartStillTimer();
    void StopStillTimer();
    void SetControlText(int id, const QString& text);

    std::shared_ptr<ICapturePlatform> platform;
    WindowServices services;

    // Controls (owned by the window through Qt's parent model).
    QComboBox* chooser = nullptr;
    CXLabel* statusLabel = nullptr;
    CXLabel* previewLabel = nullptr;
    CXLabel* noDeviceLabel = nullptr;
    ScanSettings settings;
    int minTrackWidth = 0;
    int minTrackHeight = 0;
    std::array<CCustomDrawSliderCtrl*, 6> sliders {};
    std::array<CRoundButtonST*, 6> commandButtons {};
    QIcon programIcon;
    std::unique_ptr<WindowControls> windowControls;
    std::unique_ptr<DeviceChangeFilter> deviceChangeFilter; // Windows: WM_DEVICECHANGE to the platform
    std::unique_ptr<CaptureEngine> engine;
    std::unique_ptr<AdjustmentsPanel> adjustments;   // both use the engine: they go before it
    std::unique_ptr<ScannerPresence> presence;
    int stillCount = 0;
    int stillTimer = 0;
    QTimer stillTimeout;
    std::array<CButtonST*, 12> thumbnails {};
    QLabel* imageView = nullptr;
    class PreviewSurface* previewSurface = nullptr;
    NoticeLine* notice = nullptr;

    DialogBaseUnits baseUnits;
    AnchorLayout anchors;
    std::unique_ptr<StripView> strip;
    std::unique_ptr<SaveController> saver;
    std::unique_ptr<StripKeeper> keeper;
    bool closing = false;
    bool closeAfterSave = false;
    bool askingToDiscard = false;
    bool closeWithoutQuestion = false;
};

} // namespace vistrel
