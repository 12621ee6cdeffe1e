#pragma once

#include "images/ImageStrip.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSize>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class QLabel;
class QWidget;

namespace vistrel {

class CButtonST;

// The strip of captured images as the window shows it: the twelve thumbnail buttons 5000..5011,
// the image view 1016 and the entries behind them. Window thread only.
class StripView : public QObject
{
    Q_OBJECT

public:
    static constexpr int kButtonCount = ImageStrip::kMaxEntries;
    static constexpr int kFirstThumbnailId = 5000;
    static constexpr int kThumbnailWidth = 88;
    static constexpr int kThumbnailHeight = 62;
    static constexpr QRgb kHotColour = qRgb(0, 200, 255);
    static constexpr QRgb kStartColour = qRgb(93, 93, 93);
    static constexpr QRgb kSelectedColour = qRgb(243, 63, 247);
    static constexpr QRgb kPlaceholderPreviewColour = qRgb(89, 89, 89);
    // The controls' placeholder thumbnail (88 x 62).
    static constexpr const char* kPlaceholderIconPath = ":/artwork/placeholder.png";

    StripView(QWidget* window, std::array<CButtonST*, kButtonCount> buttons, QLabel* imageView);
    ~StripView() override;

    // Once, at window start-up: buttons side by side from button 5000's place, their looks, the
    // preview area's size and the placeholder preview.
    void LayOutStrip();

    // Appends a still on the window thread. Returns its position, or -1 when the strip is full
    // (the still is dropped). The new entry is selected by a queued call.
    int AppendStill(CapturedImage entry);

    // Handler of the thumbnail buttons 5000..5011.
    void SelectImage(int commandId);

    // Handlers of Delete, Mirror and Rotate: each first moves the focus to thumbnail 5000.
    void DeleteSelected();
    void MirrorSelected();
    void RotateSelected();

    void RefreshSelected();
    void ClearStrip();

    // After a save: drops the entries with these ids, keeps the rest with their orientation and
    // puts buttons, selection and preview in order.
    void RemoveEntries(const std::vector<std::uint64_t>& ids);

    // While set, Delete, Mirror and Rotate refuse to change entries (a save reads them); stills are
    // still appended and thumbnails still selected.
    void SetLocked(bool locked);
    bool IsLocked() const;

    // Moves the keyboard focus to thumbnail 5000 (Scan, Save and the strip commands do it first).
    void FocusFirstThumbnail();

    ImageStrip& Strip();
    const ImageStrip& Strip() const;
    CButtonST* Button(int position) const;
    QSize PreviewSize() const;
    QColor DefaultColour() const;
    const QImage& PlaceholderPreview() const;
    // The placeholder icon given to empty buttons (tests and the window may replace it).
    void SetPlaceholderIcon(const QPixmap& icon);

signals:
    // The strip or its selection changed: the window re-applies its enabling rule and clears the status.
    void StripChanged();

private:
    void ApplyColours(int position, bool selected);
    void ShowPlaceholder(int position);
    void ShowThumbnail(int position);
    void ShowPreview(const QImage& picture);
    QImage Render(const CapturedImage& entry, QSize size) const;
    // Several sizes from one decode of the still.
    void Render(const CapturedImage& entry, std::span<const QSize> sizes, std::span<QImage> out) const;
    void EnsureThumbnail(CapturedImage& entry) const;
    int PositionOf(std::uint64_t id) const;

    QWidget* window;
    std::array<CButtonST*, kButtonCount> buttons;
    QLabel* imageView;
    ImageStrip strip;
    QColor defaultColour{kStartColour};
    QSize previewSize;
    QImage placeholderPreview;
    QPixmap placeholderIcon;
    bool locked = false;
};

} // namespace vistrel
