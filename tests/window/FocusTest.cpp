// After Save, an unplug or a replug the keyboard focus rests where a key press does no harm: on
// thumbnail 5000, or where it was when that control stays usable. Checked with real key presses.
#include "WindowFixture.h"

#include "controls/CCustomDrawSliderCtrl.h"
#include "window/StripView.h"

#include <QApplication>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

namespace vistrel::test {
namespace {

class FocusTest : public WindowTest
{
protected:
    // What a stray key press could change.
    struct Snapshot
    {
        std::vector<int> sliders;
        std::vector<bool> checked;
        QString folder;
        int entries = 0;
        bool operator==(const Snapshot&) const = default;
    };

    Snapshot Take() const
    {
        Snapshot s;
        for (int id = IdSaturationSlider; id <= IdBlueSlider; ++id)
            s.sliders.push_back(Get<QSlider>(id)->value());
        for (int id : {IdDefault, IdCustom, IdSlide, IdNegative, IdBlackWhite, IdStandard, IdHigh, IdFilm135,
                       IdFilm126, IdJpg, IdTiff})
            s.checked.push_back(IsChecked(id));
        s.folder = Get<QLineEdit>(IdFolderBox)->text();
        s.entries = window->Strip().Strip().Count();
        return s;
    }

    // Keys a user might press next, each to whatever holds the focus at that moment.
    static void PressStrayKeys()
    {
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Up, Qt::Key_X, Qt::Key_Backspace, Qt::Key_PageUp}) {
            QWidget* target = QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            QTest::keyClick(target, key);
        }
    }

    QTemporaryDir folder;
};

enum class Step { Save, Unplug, Replug };

TEST_F(FocusTest, KeysAfterSaveUnplugAndReplugChangeNothing)
{
    const struct
    {
        const char* name;
        Step step;
        int focusBefore;
        int focusAfter;   // 0: the window itself (no control takes keys)
    } cases[] = {
        {"Save", Step::Save, IdFirstThumbnail, IdFirstThumbnail},
        {"Save from the folder box", Step::Save, IdFolderBox, IdFirstThumbnail},
        {"unplug", Step::Unplug, IdFirstThumbnail, 0},
        {"unplug from a slider", Step::Unplug, IdBrightnessSlider, 0},
        {"unplug from the folder box", Step::Unplug, IdFolderBox, IdFolderBox},
        {"replug", Step::Replug, IdFirstThumbnail, IdFirstThumbnail},
        {"replug from a slider", Step::Replug, IdBrightnessSlider, IdFirstThumbnail},
        {"replug from the folder box", Step::Replug, IdFolderBox, IdFolderBox},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        source = std::make_shared<sim::SimulatedDeviceSource>();
        const std::string scanner = AddScanner();
        Open();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        Get<QLineEdit>(IdFolderBox)->setText(folder.path() + u'/');
        Deliver(JpegStill());
        QCoreApplication::sendPostedEvents();
        window->Control(c.focusBefore)->setFocus(Qt::MouseFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), window->Control(c.focusBefore));

        switch (c.step) {
        case Step::Save:
            Click(IdSave);
            ASSERT_TRUE(WaitFor([this] { return !window->IsSaving(); }, 60000));
            break;
        case Step::Unplug: Unplug(scanner); break;
        case Step::Replug:
            Unplug(scanner);
            Plug(scanner);
            break;
        }
        QCoreApplication::sendPostedEvents();

        QWidget* expected = c.focusAfter ? window->Control(c.focusAfter) : window.get();
        EXPECT_EQ(QApplication::focusWidget(), expected)
            << "focus on " << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString()
                                                          : std::string("nothing"));
        if (c.focusAfter == IdFolderBox) {
            // Typing goes on where it was; it must not replace the whole path.
            EXPECT_FALSE(Get<QLineEdit>(IdFolderBox)->hasSelectedText());
            continue;
        }
        const Snapshot before = Take();
        PressStrayKeys();
        const Snapshot after = Take();
        EXPECT_TRUE(after == before) << "a key press changed a setting";
    }
}

} // namespace
} // namespace vistrel::test
