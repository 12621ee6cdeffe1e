#include "window/StripView.h"

#include "controls/CButtonST.h"
#include "images/RenderFitted.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <optional>
#include <utility>

namespace vistrel {

namespace {

QString OneLine(QString text)
{
    return text.replace(u'\n', u' ');
}

// Writes where every control of the window sits, its state, and the strip's state to the file
// named by VISTREL_CONTROL_MAP, so that a driver outside the program can click the controls with
// real input and wait for their effect. Nothing of this runs without the variable.
class ControlMapWriter : public QObject
{
public:
    static constexpr int kIntervalMs = 100;

    ControlMapWriter(QWidget* window, StripView& view, QString path)
        : QObject(&view), window(window), view(view), path(std::move(path))
    {
        connect(&timer, &QTimer::timeout, this, [this] { Write(); });
        timer.start(kIntervalMs);
    }

    void Write()
    {
        QString text;
        QTextStream out(&text);
        const QPoint origin = window->mapToGlobal(QPoint(0, 0));
        out << "window " << origin.x() << ' ' << origin.y() << ' ' << window->width() << ' '
            << window->height() << ' ' << (window->isVisible() ? 1 : 0) << '\n';
        for (const QWidget* child : window->findChildren<QWidget*>()) {
            const QVariant id = child->property("controlId");
            if (!id.isValid()) {
                continue;
            }
            const QPoint at = child->mapTo(window, QPoint(0, 0));
            const auto* button = qobject_cast<const QAbstractButton*>(child);
            out << "control " << id.toInt() << ' ' << at.x() << ' ' << at.y() << ' ' << child->width()
                << ' ' << child->height() << ' ' << (child->isVisible() ? 1 : 0) << ' '
                << (child->isEnabled() ? 1 : 0) << ' ' << (button != nullptr && button->isChecked() ? 1 : 0)
                << '\n';
        }
        const QWidget* focused = window->focusWidget();
        out << "focus " << (focused ? focused->property("controlId").toInt() : 0) << '\n';
        if (const auto* folder = window->findChild<const QLineEdit*>(QStringLiteral("id1008")))
            out << "folder " << folder->text() << '\n';
        if (const auto* notice = window->findChild<const QLabel*>(QStringLiteral("notice")))
            out << "notice " << (notice->isVisible() ? 1 : 0) << ' ' << OneLine(notice->text()) << '\n';
        // Boxes and dialogs in front of the window: their title, and a message box's text.
        for (const QWidget* top : QApplication::topLevelWidgets()) {
            if (top == window || !top->isVisible() || !top->isWindow() || top->windowType() == Qt::ToolTip)
                continue;
            out << "box " << OneLine(top->windowTitle()) << '\n';
            if (const auto* box = qobject_cast<const QMessageBox*>(top))
                out << "boxtext " << OneLine(box->text()) << '\n';
        }
        const ImageStrip& strip = view.Strip();
        out << "strip " << strip.Count() << ' ' << strip.Selection() << ' ' << (view.IsLocked() ? 1 : 0)
            << '\n';
        for (int i = 0; i < strip.Count(); ++i) {
            const CapturedImage& entry = strip.At(i);
            out << "entry " << i << ' ' << entry.id << ' ' << entry.mirrored << ' ' << entry.rotation << '\n';
        }
        out.flush();
        if (text == written) {
            return;
        }
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
            file.write(text.toUtf8());
            if (file.commit()) {
                written = text;
            }
        }
    }

private:
    QWidget* window;
    const StripView& view;
    QString path;
    QString written;
    QTimer timer;
};

} // namespace

StripView::StripView(QWidget* window, std::array<CButtonST*, kButtonCount> buttons, QLabel* imageView)
    : QObject(window), window(window), buttons(buttons), imageView(imageView),
      placeholderIcon(QString::fromLatin1(kPlaceholderIconPath))
{
    const QString mapPath = qEnvironmentVariable("VISTREL_CONTROL_MAP");
    if (!mapPath.isEmpty() && window != nullptr) {
        new ControlMapWriter(window, *this, mapPath); // a child: it goes with the strip
    }
}

StripView::~StripView() = default;

void StripView::LayOutStrip()
{
    QRect place = buttons[0]->geometry();
    for (CButtonST* button : buttons) {
        button->SetDrawBorder(false);
        button->SetPressedOffset(0, 0);
        button->SetIcon(placeholderIcon);
        button->setGeometry(place);
        place.translate(place.width(), 0);
        button->SetColor(CButtonST::HotBack, QColor(kHotColour));
        button->SetColor(CButtonST::NormalBack, QColor(kStartColour));
        button->SetColor(CButtonST::FocusBack, QColor(kStartColour));
        button->update();
    }
    defaultColour = buttons[0]->GetColor(CButtonST::NormalBack);

    // Inside the view's frame: a picture as large as the whole view would paint over the frame's edges,
    // and rows of it would stay there when the view is next painted only in part.
    previewSize = imageView->contentsRect().size();
    placeholderPreview = QImage(previewSize, QImage::Format_ARGB32);
    placeholderPreview.fill(QColor(kPlaceholderPreviewColour));
    ShowPreview(placeholderPreview);
}

int StripView::AppendStill(CapturedImage entry)
{
    const int position = strip.Append(std::move(entry));
    if (position < 0) {
        return -1;
    }
    const std::uint64_t id = strip.At(position).id; // assigned by the strip when the entry had none
    // Selected later, like a click on its thumbnail. The entry is looked up by identity then, so
    // a save that finishes in between cannot make the command select another entry.
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            const int now = PositionOf(id);
            if (now >= 0) {
                SelectImage(kFirstThumbnailId + now);
            }
        },
        Qt::QueuedConnection);
    emit StripChanged();
    return position;
}

void StripView::SelectImage(int commandId)
{
    const int position = commandId - kFirstThumbnailId;
    if (position < 0 || position >= strip.Count() || position == strip.Selection()) {
        return;
    }
    const int previous = strip.Selection();
    ApplyColours(position, true);
    if (previous >= 0 && previous < kButtonCount) {
        ApplyColours(previous, false);
    }
    strip.SetSelection(position);
    RefreshSelected(); // renders the thumbnail too and hands the button its copy
    emit StripChanged();
}

void StripView::DeleteSelected()
{
    FocusFirstThumbnail();
    const int deleted = strip.Selection();
    if (locked || deleted < 0 || deleted >= strip.Count()) {
        return;
    }
    strip.RemoveAt(deleted);
    ApplyColours(deleted, false);

    const int count = strip.Count();
    const int next = deleted < count ? deleted : count - 1;
    for (int i = std::max(next, 0); i < count; ++i) {
        EnsureThumbnail(strip.At(i));
        ShowThumbnail(i);
    }
    ShowPlaceholder(count);

    // With no selection the next step cannot stop at "already selected".
    strip.SetSelection(-1);
    if (next < 0) {
        RefreshSelected();
    } else {
        SelectImage(kFirstThumbnailId + next);
    }
    emit StripChanged();
}

void StripView::MirrorSelected()
{
    FocusFirstThumbnail();
    const int selected = strip.Selection();
    if (locked || selected < 0 || selected >= strip.Count()) {
        return;
    }
    CapturedImage& entry = strip.At(selected);
    entry.mirrored = (entry.mirrored + 1) % 2;
    RefreshSelected();
    emit StripChanged();
}

void StripView::RotateSelected()
{
    FocusFirstThumbnail();
    const int selected = strip.Selection();
    if (locked || selected < 0 || selected >= strip.Count()) {
        return;
    }
    CapturedImage& entry = strip.At(selected);
    entry.rotation = (entry.rotation + 1) % 4;
    RefreshSelected();
    emit StripChanged();
}

void StripView::RefreshSelected()
{
    const int selected = strip.Selection();
    if (selected < 0 || selected >= strip.Count()) {
        ShowPreview(placeholderPreview);
        return;
    }
    CapturedImage& entry = strip.At(selected);
    const QSize sizes[] = {previewSize, QSize(kThumbnailWidth, kThumbnailHeight)};
    QImage pictures[std::size(sizes)];
    Render(entry, sizes, pictures);
    entry.preview = std::move(pictures[0]);
    ShowPreview(entry.preview);
    entry.thumbnail = std::move(pictures[1]);
    ShowThumbnail(selected);
}

void StripView::ClearStrip()
{
    strip.Clear();
    for (int i = 0; i < kButtonCount; ++i) {
        ShowPlaceholder(i);
        ApplyColours(i, false);
    }
    strip.SetSelection(-1);
    RefreshSelected();
    emit StripChanged();
}

void StripView::RemoveEntries(const std::vector<std::uint64_t>& ids)
{
    std::optional<std::uint64_t> selectedId;
    if (strip.Selection() >= 0 && strip.Selection() < strip.Count()) {
        selectedId = strip.At(strip.Selection()).id;
    }
    for (std::uint64_t id : ids) {
        strip.RemoveById(id);
    }
    const int count = strip.Count();
    for (int i = 0; i < kButtonCount; ++i) {
        if (i < count) {
            EnsureThumbnail(strip.At(i));
            ShowThumbnail(i);
        } else {
            ShowPlaceholder(i);
        }
        ApplyColours(i, false);
    }
    // The entry that was selected stays selected when it is kept; otherwise the first one left.
    int keep = selectedId ? PositionOf(*selectedId) : -1;
    if (keep < 0 && count > 0) {
        keep = 0;
    }
    strip.SetSelection(-1);
    if (keep < 0) {
        RefreshSelected();
    } else {
        SelectImage(kFirstThumbnailId + keep);
    }
    emit StripChanged();
}

void StripView::SetLocked(bool on)
{
    if (locked != on) {
        locked = on;
        emit StripChanged();
    }
}

bool StripView::IsLocked() const
{
    return locked;
}

void StripView::FocusFirstThumbnail()
{
    buttons[0]->setFocus(Qt::OtherFocusReason);
}

ImageStrip& StripView::Strip()
{
    return strip;
}

const ImageStrip& StripView::Strip() const
{
    return strip;
}

CButtonST* StripView::Button(int position) const
{
    return position >= 0 && position < kButtonCount ? buttons[position] : nullptr;
}

QSize StripView::PreviewSize() const
{
    return previewSize;
}

QColor StripView::DefaultColour() const
{
    return defaultColour;
}

const QImage& StripView::PlaceholderPreview() const
{
    return placeholderPreview;
}

void StripView::SetPlaceholderIcon(const QPixmap& icon)
{
    placeholderIcon = icon;
}

void StripView::ApplyColours(int position, bool selected)
{
    CButtonST* button = Button(position);
    if (button == nullptr) {
        return;
    }
    const QColor back = selected ? QColor(kSelectedColour) : defaultColour;
    button->SetColor(CButtonST::HotBack, selected ? QColor(kSelectedColour) : QColor(kHotColour));
    button->SetColor(CButtonST::NormalBack, back);
    button->SetColor(CButtonST::FocusBack, back);
    button->update();
}

void StripView::ShowPlaceholder(int position)
{
    if (CButtonST* button = Button(position)) {
        button->SetIcon(placeholderIcon);
        button->update();
    }
}

void StripView::ShowThumbnail(int position)
{
    CButtonST* button = Button(position);
    if (button == nullptr || position >= strip.Count()) {
        return;
    }
    button->SetBitmap(strip.At(position).thumbnail);
    button->update();
}

void StripView::ShowPreview(const QImage& picture)
{
    imageView->setPixmap(QPixmap::fromImage(picture));
}

QImage StripView::Render(const CapturedImage& entry, QSize size) const
{
    QImage out;
    Render(entry, std::span<const QSize>(&size, 1), std::span<QImage>(&out, 1));
    return out;
}

void StripView::Render(const CapturedImage& entry, std::span<const QSize> sizes, std::span<QImage> out) const
{
    const std::uint8_t* bytes = entry.frameData ? entry.frameData->data() : nullptr;
    const HRESULT result = RenderFitted(bytes, entry.frameSize, entry.frameWidth, entry.frameHeight, sizes,
                                        entry.mirrored, entry.rotation, out);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i].isEmpty()) {
            out[i] = QImage();
        } else if (Failed(result) || out[i].size() != sizes[i]) {
            // A still that does not decode shows as black, as the renderer leaves an undrawn bitmap.
            out[i] = QImage(sizes[i], QImage::Format_RGB32);
            out[i].fill(Qt::black);
        }
    }
}

void StripView::EnsureThumbnail(CapturedImage& entry) const
{
    if (entry.thumbnail.isNull()) {
        entry.thumbnail = Render(entry, QSize(kThumbnailWidth, kThumbnailHeight));
    }
}

int StripView::PositionOf(std::uint64_t id) const
{
    return strip.IndexOfId(id);
}

} // namespace vistrel
