#pragma once

#include "capture/sim/SimulatedDeviceSource.h"
#include "images/CapturedImage.h"
#include "window/SaveFolder.h"
#include "window/UserPrompts.h"
#include "window/VistrelDlg.h"

#include <QAbstractButton>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vistrel::test {

// What a modal box or dialog does while it waits for the user: it runs an event loop of its own, so
// unplug, stills and the end of a save are handled inside it. `whileOpen` runs inside the next box
// that opens and the box stays open until `settled` holds, as if the user were slow to answer;
// without them a box answers as soon as the events already waiting have been handled.
class ModalLoop
{
public:
    void Run();

    std::function<void()> whileOpen;
    std::function<bool()> settled;
    int opened = 0;
    bool gaveUp = false;   // `settled` never came true
};

// Answers the window's messages and records them; the modal ones run a ModalLoop.
class RecordingPrompts : public IUserPrompts
{
public:
    struct Entry
    {
        QString text;
        QString caption;
        QString details;
    };
    void ShowMessage(QWidget*, const QString& text, const QString& caption, const QString& details) override
    {
        messages.push_back({text, caption, details});
        modal->Run();
    }
    bool Ask(QWidget*, const QString& text, const QString& caption) override
    {
        questions.push_back({text, caption, {}});
        modal->Run();
        return answer;
    }

    std::shared_ptr<ModalLoop> modal = std::make_shared<ModalLoop>();
    std::vector<Entry> messages;
    std::vector<Entry> questions;
    bool answer = false;
};

class ScriptedFolderChooser : public IFolderChooser
{
public:
    std::optional<QString> ChooseFolder(QWidget*, const QString& current) override
    {
        preselected.push_back(current);
        if (modal)
            modal->Run();
        return answer;
    }
    std::optional<QString> answer;
    QStringList preselected;
    std::shared_ptr<ModalLoop> modal;
};

class RecordingOpener : public IFolderOpener
{
public:
    void OpenFolder(const QString& folder) override { opened.push_back(folder); }
    QStringList opened;
};

// A real scanner window over simulated devices that the test plugs and unplugs in-process.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::string AddScanner(const sim::ScannerFaults& faults = {});
    std::string AddCamera();
    // Builds the window (its start-up searches for the scanner) and shows it.
    CVistrelDlg& Open();

    template <class T> T* Get(int id) const { return window->ControlAs<T>(id); }
    // Clicks a control where a user would: a radio button on its indicator, anything else in its middle.
    void Click(int id);
    bool IsChecked(int id) const;
    bool IsEnabled(int id) const;
    QString TextOf(int id) const;

    // Unplugs or plugs a device and waits until the window has handled it.
    void Unplug(const std::string& path);
    void Plug(const std::string& path);
    bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000);

    // A JPEG still of width x height, as the scanner delivers one.
    static FrameBytes JpegStill(int width = 320, int height = 240);
    // Hands a still to the window as its arrival on the window thread.
    void Deliver(const FrameBytes& still);

    std::shared_ptr<sim::SimulatedDeviceSource> source;
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    std::shared_ptr<ScriptedFolderChooser> chooser = std::make_shared<ScriptedFolderChooser>();
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    std::unique_ptr<CVistrelDlg> window;
};

} // namespace vistrel::test
