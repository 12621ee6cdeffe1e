// The built program started with options, as a user starts it: the simulated scanner chosen by
// --simulate alone, a still saved into the folder of --save-folder, and nothing stored for later.
#include "support/ProgramUnderX.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <optional>

#ifndef VISTREL_PROGRAM
#error "VISTREL_PROGRAM names the program under test"
#endif

namespace vistrel::test {
namespace {

constexpr int kScan = 3000;
constexpr int kSave = 3009;

struct StripState : MappedWindow
{
    int count = -1;
    bool saving = false;
};

class CommandLineProgramTest : public ProgramUnderXTest
{
protected:
    void SetUp() override
    {
        Prepare(VISTREL_PROGRAM);
    }


    // No simulator in the environment: only the options choose one.
    void Start(const QStringList& arguments)
    {
        program->setArguments(arguments);
        const QProcessEnvironment env = ProgramEnvironment(displayName, QDir(temp.path()), QString());
        StartProgramProcess(program, QStringLiteral(VISTREL_PROGRAM), env, temp.filePath("program.log"));
    }

    std::optional<StripState> State() const
    {
        StripState state;
        bool sawStrip = false;
        const bool read = ReadControlMap(temp.filePath("controls.txt"), state, [&](const QStringList& f) {
            if (f.size() >= 4 && f[0] == QLatin1String("strip")) {
                state.count = f[1].toInt();
                state.saving = f[3] == QLatin1String("1");
                sawStrip = true;
            }
        });
        if (!read || !sawStrip || !state.sawWindow)
            return std::nullopt;
        return state;
    }

    bool WaitForState(const std::function<bool(const StripState&)>& done)
    {
        return WaitWhileRunning(program, [this] { return State(); }, done);
    }

    void Click(int id)
    {
        const auto state = State();
        ASSERT_TRUE(state && state->controls.count(id)) << "no control " << id;
        const MappedControl& control = state->controls.at(id);
        ASSERT_TRUE(control.visible && control.enabled) << "control " << id << " cannot be clicked";
        ASSERT_EQ(MovePointerOn(displayName, state->origin + control.rect.center()), 0);
        int code = -1;
        RunOnDisplay(displayName, "xdotool", {"click", "1"}, &code);
        ASSERT_EQ(code, 0);
    }

    static QStringList FilesBelow(const QString& folder)
    {
        QStringList files;
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            files << it.next();
        return files;
    }

};

TEST_F(CommandLineProgramTest, SimulateAndSaveFolderHoldForThisRunOnly)
{
    const QString chosen = temp.filePath("chosen scans");
    Start({QStringLiteral("--simulate"), QStringLiteral("--save-folder"), chosen});

    ASSERT_TRUE(WaitForState([](const StripState& s) {
        return s.visible && s.controls.count(kScan) && s.controls.at(kScan).enabled;
    })) << "the simulated scanner was not attached";
    Click(kScan);
    ASSERT_TRUE(WaitForState([](const StripState& s) { return s.count == 1; })) << "no still arrived";
    Click(kSave);
    ASSERT_TRUE(WaitForState([](const StripState& s) { return s.count == 0 && !s.saving; })) << "the save did not end";

    const QStringList saved = FilesBelow(chosen);
    ASSERT_EQ(saved.size(), 1) << saved.join(u' ').toStdString();
    EXPECT_TRUE(saved[0].endsWith(QLatin1String("_01.jpg"))) << saved[0].toStdString();
    EXPECT_EQ(QFileInfo(saved[0]).dir().path(), chosen);
    EXPECT_FALSE(QFileInfo::exists(temp.filePath("home/Pictures"))) << "nothing goes to the default folder";
    EXPECT_FALSE(QFileInfo::exists(temp.filePath("config/Vistrel"))) << "nothing is stored";
}

} // namespace
} // namespace vistrel::test
