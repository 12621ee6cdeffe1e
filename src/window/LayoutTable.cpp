#include "window/LayoutTable.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <array>
#include <utility>

namespace vistrel {

namespace {

constexpr int kColumns = 12;

constexpr std::array<std::pair<const char*, ControlKind>, 9> kKinds {{
    {"defpushbutton", ControlKind::DefPushButton}, {"pushbutton", ControlKind::PushButton},
    {"static", ControlKind::Static}, {"groupbox", ControlKind::GroupBox}, {"slider", ControlKind::Slider},
    {"radio", ControlKind::Radio}, {"edit", ControlKind::Edit}, {"combobox", ControlKind::ComboBox},
    {"picture", ControlKind::Picture},
}};

constexpr std::array<std::pair<const char*, LayoutFlag>, 19> kFlags {{
    {"tabstop", TabStop}, {"default", DefaultButton}, {"sunken", Sunken}, {"centred", Centred},
    {"vcentred", VCentred}, {"hidden", Hidden}, {"group", GroupStart}, {"border", Border},
    {"hscroll", HScroll}, {"vscroll", VScroll}, {"horizontal", Horizontal}, {"noticks", NoTicks},
    {"imagecentred", ImageCentred}, {"transparent", Transparent}, {"dropdownlist", DropDownList},
    {"unsorted", Unsorted}, {"resizable", Resizable}, {"minimize", MinimizeBox}, {"maximize", MaximizeBox},
}};

bool Fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

bool ParseFlags(const QString& field, std::uint32_t* flags, QString* error)
{
    *flags = 0;
    for (const QString& name : field.split(u',', Qt::SkipEmptyParts)) {
        const QString key = name.trimmed();
        auto found = std::find_if(kFlags.begin(), kFlags.end(),
                                  [&](const auto& row) { return key == QLatin1String(row.first); });
        if (found == kFlags.end())
            return Fail(error, QStringLiteral("unknown flag \"%1\"").arg(key));
        *flags |= found->second;
    }
    return true;
}

bool ParseInts(const QStringList& fields, int first, int count, int* out, QString* error)
{
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        out[i] = fields[first + i].trimmed().toInt(&ok);
        if (!ok)
            return Fail(error, QStringLiteral("column %1 is not a number: \"%2\"").arg(first + 1).arg(fields[first + i]));
    }
    return true;
}

} // namespace

const LayoutControl* DialogLayout::Find(int id) const
{
    auto found = std::find_if(controls.begin(), controls.end(), [id](const LayoutControl& c) { return c.id == id; });
    return found == controls.end() ? nullptr : &*found;
}

std::optional<DialogLayout> ParseDialogLayout(const QByteArray& text, QString* error)
{
    DialogLayout layout;
    bool haveWindow = false;
    int lineNumber = 0;
    for (const QByteArray& rawLine : text.split('\n')) {
        ++lineNumber;
        QString line = QString::fromUtf8(rawLine);
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u'\t');
        if (fields.value(0) == QLatin1String("id"))
            continue;   // column header
        QString why;
        auto fail = [&](const QString& reason) -> std::optional<DialogLayout> {
            Fail(error, QStringLiteral("line %1: %2").arg(lineNumber).arg(reason));
            return std::nullopt;
        };
        if (fields.size() != kColumns)
            return fail(QStringLiteral("%1 columns instead of %2").arg(fields.size()).arg(kColumns));
        int numbers[8] = {};
        if (!ParseInts(fields, 3, 8, numbers, &why))
            return fail(why);
        std::uint32_t flags = 0;
        if (!ParseFlags(fields[11], &flags, &why))
            return fail(why);
        if (fields[0] == QLatin1String("window")) {
            layout.sizeUnits = QSize(numbers[2], numbers[3]);
            layout.flags = flags;
            haveWindow = true;
            continue;
        }
        LayoutControl control;
        bool ok = false;
        control.id = fields[0].toInt(&ok);
        if (!ok || control.id <= 0)
            return fail(QStringLiteral("bad control id \"%1\"").arg(fields[0]));
        if (layout.Find(control.id))
            return fail(QStringLiteral("control %1 appears twice").arg(control.id));
        auto kind = std::find_if(kKinds.begin(), kKinds.end(),
                                 [&](const auto& row) { return fields[1] == QLatin1String(row.first); });
        if (kind == kKinds.end())
            return fail(QStringLiteral("unknown kind \"%1\"").arg(fields[1]));
        control.kind = kind->second;
        control.text = fields[2];
        control.units = QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
        control.anchor = Anchor {numbers[4], numbers[5], numbers[6], numbers[7]};
        control.flags = flags;
        if (std::any_of(numbers + 4, numbers + 8, [](int share) { return share < 0 || share > 100; }))
            return fail(QStringLiteral("anchor share outside 0..100"));
        layout.controls.push_back(std::move(control));
    }
    if (!haveWindow) {
        Fail(error, QStringLiteral("no window row"));
        return std::nullopt;
    }
    return layout;
}

QStringList ParseItemList(const QByteArray& text)
{
    QStringList items;
    for (const QByteArray& rawLine : text.split('\n')) {
        QString line = QString::fromUtf8(rawLine).trimmed();
        if (!line.isEmpty() && !line.startsWith(u'#'))
            items.push_back(line);
    }
    return items;
}

namespace {

QByteArray ReadResource(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The program's resource %s is missing", path);
    return file.readAll();
}

} // namespace

const DialogLayout& ScannerWindowLayout()
{
    static const DialogLayout layout = [] {
        QString error;
        auto parsed = ParseDialogLayout(ReadResource(kScannerWindowLayoutPath), &error);
        if (!parsed)
            qFatal("The window layout is damaged: %s", qPrintable(error));
        return *std::move(parsed);
    }();
    return layout;
}

const QStringList& LanguageChooserItems()
{
    static const QStringList items = ParseItemList(ReadResource(kLanguageChooserItemsPath));
    return items;
}

} // namespace vistrel
