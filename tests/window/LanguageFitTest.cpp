// The window under a Japanese desktop (LANG=ja_JP.UTF-8, whose face is a CJK one): it opens at the size
// it has in the other languages, every language's texts fit their controls at that size, the longest
// notice fits its place, and the four states a user most often meets look finished in French and in
// Japanese. The screenshots land in VISTREL_SCREENSHOTS for a person to look at.
#include "WindowFixture.h"

#include "app/Localization.h"
#include "capture/runtime/CapturePlatform.h"
#include "window/DialogUnits.h"
#include "window/LayoutTable.h"
#include "window/NoticeLine.h"
#include "window/ReasonText.h"
#include "window/StripView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

namespace vistrel::test {
namespace {

constexpr LANGID kFrench = 0x040C, kJapanese = 0x0411;
const char* const kScannerPath = "\\\\?\\usb#vid_8888&pid_0001&mi_00#1-2#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

bool UnderCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

bool DesktopFaceIsCjk()
{
    return QFontDatabase::writingSystems(QFontInfo(QApplication::font()).family()).contains(QFontDatabase::Japanese);
}

QString LanguageName(LANGID language)
{
    for (const LanguageChoiceRow& row : LanguageChoice) {
        if (row.language == language)
            return QString::fromUtf8(row.item).toLower();
    }
    return QString::number(language, 16);
}

QString ShotPath(const QString& name)
{
    const QString folder = QString::fromUtf8(VISTREL_SCREENSHOTS);
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name + QStringLiteral(".png");
}

// The scanner is there but its node may not be opened: listed among the unusable devices, as the V4L2
// backend lists a node the user lacks the rights to.
class ForbiddenScannerSource final : public IDeviceSource
{
public:
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>*) override {}
    std::vector<UnusableDevice> UnusableDevices() override
    {
        return {{kScannerPath, Reason(ReasonCode::NodeAccessDenied, "/dev/video0", EACCES).WithGroup("video")}};
    }
    void SetChangeSink(std::function<void(const DeviceChange&)>) override {}
};

// A small file system of its own, to run out of room on.
class SmallFileSystem
{
public:
    SmallFileSystem()
    {
        mounted = dir.isValid()
            && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    bool Mounted() const { return mounted; }
    QString Path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    bool mounted = false;
};

class LanguageFitTest : public WindowTest
{
protected:
    void OpenIn(LANGID language, std::shared_ptr<IUserPrompts> boxes = nullptr,
                std::shared_ptr<IDeviceSource> devices = nullptr)
    {
        SetCurrentUiLanguage(language);
        WindowServices services {chooser, opener, boxes ? boxes : prompts};
        const std::shared_ptr<IDeviceSource> chosen = devices ? devices : std::shared_ptr<IDeviceSource>(source);
        window = std::make_unique<CVistrelDlg>(MakeCapturePlatform({chosen}), services);
        window->show();
        QCoreApplication::processEvents();
    }
    void Shoot(const QString& name, const QImage& shot)
    {
        const QString path = ShotPath(name);
        EXPECT_TRUE(shot.save(path)) << path.toStdString();
    }
    // The box that is open, drawn over the window where the desktop would centre it.
    QImage WithBox(QWidget* box)
    {
        QImage shot = window->grab().toImage();
        const QPixmap drawn = box->grab();
        QPainter painter(&shot);
        const QPoint at((shot.width() - drawn.width()) / 2, (shot.height() - drawn.height()) / 2);
        painter.drawPixmap(at, drawn);
        painter.setPen(QColor(64, 64, 64));
        painter.drawRect(QRect(at, drawn.size()).adjusted(-1, -1, 0, 0));
        return shot;
    }
    // Runs `open` (which opens a box and waits in it); the box is photographed, its text kept, and
    // answered with its escape button.
    QString ShootBox(const QString& name, const std::function<void()>& open)
    {
        QString text;
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || seen)
                return;
            seen = true;
            QTest::qWait(100);   // laid out and painted
            text = box->text() + QLatin1Char('\n') + box->detailedText();
            for (QAbstractButton* button : box->buttons())
                text += QLatin1Char('|') + button->text();
            Shoot(name, WithBox(box));
            box->reject();
        });
        poll.start(50);
        open();
        EXPECT_TRUE(seen) << name.toStdString() << ": no box opened";
        return text;
    }
};

TEST_F(LanguageFitTest, TheWindowOpensAtTheSizeOfTheOtherLanguages)
{
    // The offscreen platform keeps its own face whatever the locale; a Japanese desktop's is a CJK one.
    const QFont desktopFace = QApplication::font();
    const auto restore = qScopeGuard([&] { QApplication::setFont(desktopFace); });
    if (!DesktopFaceIsCjk())
        QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP")));
    ASSERT_TRUE(DesktopFaceIsCjk()) << "no CJK face (fonts-noto-cjk)";
    QFont latin(QStringLiteral("DejaVu Sans"));
    latin.setPointSize(kDialogFontPoints);
    ASSERT_EQ(QFontInfo(latin).family(), QStringLiteral("DejaVu Sans")) << "fonts-dejavu-core";
    OpenIn(kJapanese);
    EXPECT_EQ(window->size(), DialogUnitsToPixels(ScannerWindowLayout().sizeUnits, BaseUnitsFor(latin)))
        << "the window is " << window->width() << "x" << window->height();
    EXPECT_FALSE(QFontDatabase::writingSystems(QFontInfo(window->font()).family()).contains(QFontDatabase::Japanese))
        << "the layout is measured in " << QFontInfo(window->font()).family().toStdString();
}

class EveryLanguage : public LanguageFitTest, public ::testing::WithParamInterface<LANGID>
{
};

// Our notices with particulars as long as they come in practice; the longest in each language is shown.
std::vector<Wording> Notices()
{
    return {
        [] { return LocalizedText(IdsStillMissing); },
        [] { return LocalizedText(IdsStillDamaged); },
        [] { return LocalizedText(IdsStillTooLarge, {QStringLiteral("20000"), QStringLiteral("15000")}); },
        [] { return ReasonText(Reason(ReasonCode::NodeCannotOpen, "/dev/video10", EIO)); },
        [] { return ReasonText(Reason(ReasonCode::NodeAccessDenied, "/dev/video10", EACCES).WithGroup("video")); },
        [] { return ReasonText(Reason(ReasonCode::NodeAccessDenied, "/dev/video10", EACCES)); },
        [] { return ReasonText(Reason(ReasonCode::UsbNodeNotWritable, "/dev/bus/usb/001/005")); },
        [] { return ReasonText(Reason(ReasonCode::ScannerLeftToDriver)); },
        [] { return ReasonText(Reason(ReasonCode::ScannerHeldElsewhere)); },
    };
}

TEST_P(EveryLanguage, TextsFitTheirControlsAndTheLongestNoticeItsPlace)
{
    AddScanner();
    OpenIn(GetParam());
    ASSERT_TRUE(window->IsScannerAttached());
    const QString language = LanguageName(GetParam());
    EXPECT_EQ(window->size(), window->MinTrackSize()) << "the first size";

    for (int id : {int(IdSlide), int(IdNegative), int(IdBlackWhite), int(IdStandard), int(IdHigh), int(IdDefault),
                   int(IdCustom)}) {
        auto* radio = Get<QRadioButton>(id);
        EXPECT_LE(radio->sizeHint().width(), radio->width()) << language.toStdString() << " " << id << " \""
                                                             << radio->text().toStdString() << "\" is cut";
    }
    for (int id : {3028, 3029, 3030, 3031, 3032, 3033, int(IdSaveCaption)}) {
        auto* label = Get<QLabel>(id);
        EXPECT_LE(label->sizeHint().width(), label->width()) << language.toStdString() << " " << id << " \""
                                                             << label->text().toStdString() << "\" is cut";
    }
    for (int id : {3024, 3025, 3026, 3027, int(IdStripFrame)}) {
        auto* box = Get<QGroupBox>(id);
        EXPECT_LT(box->fontMetrics().horizontalAdvance(box->title()), box->width())
            << language.toStdString() << " " << id << " \"" << box->title().toStdString() << "\" is cut";
    }
    for (int id : {int(IdScan), int(IdBrowse), int(IdSave), int(IdDelete), int(IdRotate), int(IdMirror)}) {
        // The image buttons wrap their caption; each word must fit, and the lines the height.
        auto* button = Get<QAbstractButton>(id);
        const QFontMetrics metrics(button->font());
        const QRect needed = metrics.boundingRect(QRect(0, 0, button->width(), button->height()),
                                                  Qt::AlignHCenter | Qt::TextWordWrap, button->text());
        EXPECT_LE(needed.width(), button->width()) << language.toStdString() << " " << button->text().toStdString();
        EXPECT_LE(needed.height(), button->height()) << language.toStdString() << " " << button->text().toStdString();
    }

    Wording longest;
    for (const Wording& notice : Notices()) {
        if (!longest || notice().size() > longest().size())
            longest = notice;
    }
    auto& notice = const_cast<NoticeLine&>(window->Notice());
    notice.Show(longest, NoticeLine::Stays);
    QCoreApplication::processEvents();
    const QRect place = window->Control(IdPreview)->geometry();
    EXPECT_TRUE(place.contains(notice.geometry())) << language.toStdString() << ": the notice leaves the picture";
    EXPECT_GE(notice.height(), notice.heightForWidth(notice.width())) << language.toStdString() << ": cut short";
    Shoot(QStringLiteral("fit-%1").arg(language), window->grab().toImage());
}

INSTANTIATE_TEST_SUITE_P(Languages, EveryLanguage,
                         ::testing::Values(LANGID(0x0409), LANGID(0x0804), LANGID(0x0419), LANGID(0x0407), kFrench,
                                           LANGID(0x0410), LANGID(0x040A), kJapanese),
                         [](const ::testing::TestParamInfo<LANGID>& info) {
                             return LanguageName(info.param).toStdString();
                         });

class InFrenchAndJapanese : public LanguageFitTest, public ::testing::WithParamInterface<LANGID>
{
protected:
    QString Name(const char* state) const { return QStringLiteral("%1-%2").arg(LanguageName(GetParam()), QLatin1String(state)); }
    // Nothing of the English table in it.
    void ExpectNotEnglish(const QString& text, std::uint32_t id)
    {
        SetCurrentUiLanguage(kLangIdEnglishUs);
        const QString english = LoadLocalizedText(id);
        SetCurrentUiLanguage(GetParam());
        EXPECT_FALSE(text.contains(english)) << text.toStdString();
        EXPECT_TRUE(text.contains(LoadLocalizedText(id))) << text.toStdString();
    }
};

TEST_P(InFrenchAndJapanese, TheFailedScanNotice)
{
    sim::ScannerFaults ignoring;
    ignoring.ignoreTrigger = true;
    AddScanner(ignoring);
    OpenIn(GetParam());
    window->OnScan();
    ASSERT_TRUE(WaitFor([&] { return window->Notice().isVisible(); }, 5000));
    ExpectNotEnglish(window->Notice().text(), IdsStillMissing);
    Shoot(Name("failed-scan"), window->grab().toImage());
}

TEST_P(InFrenchAndJapanese, ThePermissionNotice)
{
    OpenIn(GetParam(), nullptr, std::make_shared<ForbiddenScannerSource>());
    ASSERT_TRUE(window->Notice().isVisible());
    EXPECT_TRUE(window->Notice().text().contains(QStringLiteral("/dev/video0")));
    EXPECT_TRUE(window->Notice().text().contains(QStringLiteral("sudo usermod -aG video $USER")));
    const Reason reason = ForbiddenScannerSource().UnusableDevices().front().reason;
    EXPECT_EQ(window->Notice().text(), ReasonText(reason));
    SetCurrentUiLanguage(kLangIdEnglishUs);
    const QString english = ReasonText(reason);
    SetCurrentUiLanguage(GetParam());
    EXPECT_NE(window->Notice().text(), english);
    Shoot(Name("permission"), window->grab().toImage());
}

TEST_P(InFrenchAndJapanese, TheDiscardQuestion)
{
    AddScanner();
    OpenIn(GetParam(), std::make_shared<MessageBoxPrompts>());
    Deliver(JpegStill(320, 240));
    const QString shown = ShootBox(Name("discard-question"), [&] { window->reject(); });
    ExpectNotEnglish(shown, IdsDiscardUnsaved);
    EXPECT_TRUE(shown.split(u'|').contains(LoadLocalizedText(IdsNo))) << shown.toStdString();
    EXPECT_TRUE(window->isVisible()) << "answered No";
}

TEST_P(InFrenchAndJapanese, TheDiskFullMessage)
{
    SmallFileSystem disk;
    if (!disk.Mounted()) {
        ASSERT_FALSE(UnderCi()) << "mounting a small tmpfs needs root (" << std::strerror(errno) << ")";
        GTEST_SKIP() << "no small file system to fill";
    }
    AddScanner();
    OpenIn(GetParam(), std::make_shared<MessageBoxPrompts>());
    Deliver(JpegStill(320, 240));
    Get<QLineEdit>(IdFolderBox)->setText(disk.Path() + QLatin1Char('/'));
    const QString shown = ShootBox(Name("disk-full"), [&] {
        window->OnSave();
        WaitFor([&] { return !window->IsSaving(); }, 60000);
    });
    EXPECT_TRUE(shown.contains(LoadLocalizedText(IdsSomeImagesNotSaved).arg(1).arg(1))) << shown.toStdString();
    ExpectNotEnglish(shown, IdsErrorDiskFull);
    EXPECT_EQ(window->Strip().Strip().Count(), 1) << "the image stays in the strip";
}

INSTANTIATE_TEST_SUITE_P(States, InFrenchAndJapanese, ::testing::Values(kFrench, kJapanese),
                         [](const ::testing::TestParamInfo<LANGID>& info) {
                             return LanguageName(info.param).toStdString();
                         });

} // namespace
} // namespace vistrel::test
