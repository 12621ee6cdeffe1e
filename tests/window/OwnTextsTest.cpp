// Our own sentences in the user's language: a notice that is showing follows a change of language,
// the scanner's button is the Scan command with all its checks, and the controls have accessible
// names in the language of the moment.
#include "WindowFixture.h"

#include "app/Localization.h"
#include "window/NoticeLine.h"
#include "window/ReasonText.h"
#include "window/StripView.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <thread>

namespace vistrel::test {
namespace {

constexpr int kFrenchItem = 4;   // the chooser's French
constexpr int kEnglishItem = 0;

class OwnTextsTest : public WindowTest
{
protected:
    void OpenWithScanner()
    {
        AddScanner();
        Open();
        ASSERT_TRUE(window->IsScannerAttached());
    }
    int StripCount() { return window->Strip().Strip().Count(); }
    void Fill(int count)
    {
        const FrameBytes still = JpegStill(64, 48);
        for (int i = 0; i < count; ++i)
            Deliver(still);
    }
    // The button's press as the capture layer reports it, on a thread of its own.
    void PressTheScannersButton()
    {
        std::thread device([this] { static_cast<ICaptureHost*>(window.get())->OnScannerButton(); });
        device.join();
        QCoreApplication::processEvents();
    }
};

TEST_F(OwnTextsTest, ANoticeShowingFollowsTheLanguage)
{
    OpenWithScanner();
    window->OnStillTimeout();
    ASSERT_TRUE(window->Notice().isVisible());
    EXPECT_EQ(window->Notice().text(), QStringLiteral("The scanner did not deliver the image. Press Scan to try again."));

    window->OnLanguageChosen(kFrenchItem);
    EXPECT_EQ(window->Notice().text(),
              QString::fromUtf8("Le scanner n'a pas fourni l'image. Appuyez sur « Prendre une image » pour réessayer."));
    EXPECT_TRUE(window->Notice().text().contains(TextOf(IdScan))) << "the notice names the button as it reads";
    window->OnLanguageChosen(kEnglishItem);
    EXPECT_EQ(window->Notice().text(), LocalizedText(IdsStillMissing));
}

TEST_F(OwnTextsTest, TheButtonOnAFullStripSaysWhyAndAddsNothing)
{
    OpenWithScanner();
    Fill(12);
    ASSERT_EQ(StripCount(), 12);
    PressTheScannersButton();
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, LoadLocalizedText(IdsStripFull));
    EXPECT_FALSE(window->StillTimer().isActive()) << "no still was asked for";
    EXPECT_EQ(StripCount(), 12);
}

TEST_F(OwnTextsTest, TheButtonWithRoomTakesOneStillAsScanDoes)
{
    OpenWithScanner();
    Fill(3);
    PressTheScannersButton();
    EXPECT_TRUE(prompts->messages.empty());
    EXPECT_TRUE(window->StillTimer().isActive()) << "the time-out watches the button's still as Scan's";
    ASSERT_TRUE(WaitFor([&] { return StripCount() == 4; }));
    EXPECT_FALSE(window->StillTimer().isActive());
    QTest::qWait(200);
    EXPECT_EQ(StripCount(), 4) << "one press, one still";
}

TEST_F(OwnTextsTest, TheButtonDoesNothingWhileASaveRuns)
{
    OpenWithScanner();
    Fill(12);
    QTemporaryDir folder;
    Get<QLineEdit>(IdFolderBox)->setText(folder.path() + QLatin1Char('/'));
    window->OnSave();
    ASSERT_TRUE(window->IsSaving());
    PressTheScannersButton();
    EXPECT_TRUE(prompts->messages.empty()) << "not even the full-strip message";
    EXPECT_FALSE(window->StillTimer().isActive());
    ASSERT_TRUE(WaitFor([&] { return !window->IsSaving(); }, 120000));
}

TEST_F(OwnTextsTest, AccessibleNamesAreInTheUsersLanguage)
{
    OpenWithScanner();
    Fill(2);
    EXPECT_EQ(window->Control(IdSaturationSlider)->accessibleName(), QStringLiteral("Saturation"));
    EXPECT_EQ(window->Control(IdBlueSlider)->accessibleName(), QStringLiteral("Blue"));
    EXPECT_EQ(window->Control(IdFolderBox)->accessibleName(), QStringLiteral("Save folder"));
    EXPECT_EQ(window->Control(IdChooseFolder)->accessibleName(), QStringLiteral("Choose the save folder"));
    EXPECT_EQ(window->Control(IdFirstThumbnail + 1)->accessibleName(), QStringLiteral("Image 2 of 2"));
    EXPECT_EQ(window->Control(IdFirstThumbnail + 2)->accessibleName(), QStringLiteral("No image"));

    window->OnLanguageChosen(kFrenchItem);
    EXPECT_EQ(window->Control(IdBrightnessSlider)->accessibleName(), QString::fromUtf8("Luminosité"));
    EXPECT_EQ(window->Control(IdFolderBox)->accessibleName(), QString::fromUtf8("Dossier d'enregistrement"));
    EXPECT_EQ(window->Control(IdFirstThumbnail)->accessibleName(), QStringLiteral("Image 1 sur 2"));
    Fill(1);
    EXPECT_EQ(window->Control(IdFirstThumbnail)->accessibleName(), QStringLiteral("Image 1 sur 3"));
}

// Every reason the layers below report comes out as text in every language, its particulars in it.
TEST_F(OwnTextsTest, EveryReasonHasWordsInEveryLanguage)
{
    const std::vector<Reason> reasons {
        Reason(ReasonCode::NodeCannotOpen, "/dev/video3", EIO),
        Reason(ReasonCode::NodeAccessDenied, "/dev/video3", EACCES).WithGroup("video"),
        Reason(ReasonCode::NodeAccessDenied, "/dev/video3", EACCES),
        Reason(ReasonCode::UsbNodeNotWritable, "/dev/bus/usb/001/005"),
        Reason(ReasonCode::ScannerLeftToDriver), Reason(ReasonCode::ScannerHeldElsewhere),
        Reason(ReasonCode::DeviceLocked), Reason(ReasonCode::StillDamaged),
        Reason(ReasonCode::StillTooLarge).WithSize(20000, 9000), Reason(ReasonCode::SaveCancelled),
        Reason(ReasonCode::NoSaveFolder), Reason(ReasonCode::EntryHoldsNoImage),
        Reason(ReasonCode::UnknownFormat).WithSize(7, 0), Reason(ReasonCode::NoWriter),
        Reason(ReasonCode::AbsurdImageSize), Reason(ReasonCode::FolderCannotBeMade, "/x/%2y", EROFS),
        Reason(ReasonCode::CannotWriteIn, "/media/card", ENOSPC),
        Reason(ReasonCode::WriteFailed, {}, 123), Reason(ReasonCode::EncodeFailed),
        Reason(ReasonCode::NotDurable, {}, EIO), Reason(ReasonCode::NoFreeName),
    };
    for (int item = 0; item < 8; ++item) {
        SetCurrentUiLanguage(LanguageChoice[item].language);
        for (const Reason& reason : reasons) {
            const QString text = ReasonText(reason);
            EXPECT_FALSE(text.isEmpty()) << item << ": " << ReasonLogText(reason);
            EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("%[0-9]")))
                         && !QString::fromStdString(reason.path).contains(u'%'))
                << item << ": " << text.toStdString();
            if (!reason.path.empty()) {
                EXPECT_TRUE(text.contains(QString::fromStdString(reason.path)) || reason.code == ReasonCode::UsbNodeNotWritable)
                    << item << ": " << text.toStdString();
            }
            if (!reason.group.empty()) {
                EXPECT_TRUE(text.contains(QStringLiteral("usermod -aG video"))) << item << ": " << text.toStdString();
            }
        }
        EXPECT_TRUE(ReasonText(reasons[16]).contains(LocalizedText(IdsErrorDiskFull))) << item;
        EXPECT_TRUE(ReasonText(reasons[17]).contains(QStringLiteral("123"))) << item;
    }
    SetCurrentUiLanguage(kLangIdEnglishUs);
    EXPECT_EQ(ReasonText(reasons[15]), QStringLiteral("the folder /x/%2y cannot be created (the disk is read-only)"))
        << "a path holding a placeholder stays as it is";
}

} // namespace
} // namespace vistrel::test
