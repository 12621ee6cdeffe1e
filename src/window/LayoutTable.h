#pragma once

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace vistrel {

// What a row of the window layout creates.
enum class ControlKind { DefPushButton, PushButton, Static, GroupBox, Slider, Radio, Edit, ComboBox, Picture };

// Style flags of a layout row.
enum LayoutFlag : std::uint32_t {
    TabStop = 1u << 0,
    DefaultButton = 1u << 1,
    Sunken = 1u << 2,
    Centred = 1u << 3,
    VCentred = 1u << 4,
    Hidden = 1u << 5,
    GroupStart = 1u << 6,
    Border = 1u << 7,
    HScroll = 1u << 8,
    VScroll = 1u << 9,
    Horizontal = 1u << 10,
    NoTicks = 1u << 11,
    ImageCentred = 1u << 12,
    Transparent = 1u << 13,
    DropDownList = 1u << 14,
    Unsorted = 1u << 15,
    Resizable = 1u << 16,
    MinimizeBox = 1u << 17,
    MaximizeBox = 1u << 18,
};

// Share of the client-size change (percent) by which a control moves and grows.
struct Anchor
{
    int moveX = 0;
    int moveY = 0;
    int growX = 0;
    int growY = 0;
    friend bool operator==(const Anchor&, const Anchor&) = default;
};

struct LayoutControl
{
    int id = 0;
    ControlKind kind = ControlKind::Static;
    QString text;                 // as stored: "&&" stands for one ampersand
    QRect units;                  // position and size in dialog units
    Anchor anchor;
    std::uint32_t flags = 0;

    bool Has(LayoutFlag flag) const { return (flags & flag) != 0; }
};

struct DialogLayout
{
    QSize sizeUnits;              // client size in dialog units
    std::uint32_t flags = 0;
    std::vector<LayoutControl> controls;   // in tab order

    const LayoutControl* Find(int id) const;
};

// Parses the tab-separated layout (see resources/layout/dialog102.tsv). Empty and '#' lines are
// skipped; the first data row may be the column header. Returns nullopt and the reason on error.
std::optional<DialogLayout> ParseDialogLayout(const QByteArray& text, QString* error = nullptr);

// Plain item list, one a line, '#' lines skipped.
QStringList ParseItemList(const QByteArray& text);

// The embedded scanner-window layout and the language chooser's items, read once.
const DialogLayout& ScannerWindowLayout();
const QStringList& LanguageChooserItems();

constexpr const char* kScannerWindowLayoutPath = ":/layout/dialog102.tsv";
constexpr const char* kLanguageChooserItemsPath = ":/layout/chooser1000.tsv";

} // namespace vistrel
