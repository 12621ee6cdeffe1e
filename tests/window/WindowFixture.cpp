#include "WindowFixture.h"

#include "app/UiLanguage.h"
#include "capture/runtime/CapturePlatform.h"
#include "controls/CXLabel.h"
#include "images/CaptureTime.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QEventLoop>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <utility>

namespace vistrel::test {

namespace {

constexpr int kModalPollMs = 5;
constexpr int kModalGiveUpMs = 60000;

} // namespace

void ModalLoop::Run()
{
    ++opened;
    // A box opened inside this one answers at once: the fault belongs to the first.
    const std::function<void()> action = std::exchange(whileOpen, nullptr);
    const std::function<bool()> until = action ? std::exchange(settled, nullptr) : nullptr;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [action] {
        if (action)
            action();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&loop, &until] {
        if (!until || until())
            loop.quit();
    });
    poll.start(kModalPollMs);
    QTimer::singleShot(kModalGiveUpMs, &loop, [this, &loop] {
        gaveUp = true;
        loop.quit();
    });
    loop.exec();
}

void WindowTest::SetUp()
{
    SetCurrentUiLanguage(kLangIdEnglishUs);
    source = std::make_shared<sim::SimulatedDeviceSource>();
    chooser->modal = prompts->modal;   // the folder dialog waits as the message boxes do
}

void WindowTest::TearDown()
{
    window.reset();
    source.reset();
    SetCurrentUiLanguage(kLangIdEnglishUs);
}

std::string WindowTest::AddScanner(const sim::ScannerFaults& faults)
{
    sim::DeviceOptions options;
    options.kind = sim::DeviceOptions::Kind::Scanner;
    options.faults = faults;
    return source->AddDevice(options);
}

std::string WindowTest::AddCamera()
{
    sim::DeviceOptions options;
    options.kind = sim::DeviceOptions::Kind::Camera;
    return source->AddDevice(options);
}

CVistrelDlg& WindowTest::Open()
{
    WindowServices services {chooser, opener, prompts};
    window = std::make_unique<CVistrelDlg>(MakeCapturePlatform({source}), services);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
}

void WindowTest::Click(int id)
{
    QWidget* control = window->Control(id);
    ASSERT_NE(control, nullptr) << id;
    const bool radio = qobject_cast<QRadioButton*>(control) != nullptr;
    QTest::mouseClick(control, Qt::LeftButton, {}, radio ? QPoint(6, control->height() / 2) : control->rect().center());
}

bool WindowTest::IsChecked(int id) const
{
    auto* button = Get<QAbstractButton>(id);
    return button && button->isChecked();
}

bool WindowTest::IsEnabled(int id) const
{
    QWidget* control = window->Control(id);
    return control && control->isEnabled();
}

QString WindowTest::TextOf(int id) const
{
    QWidget* control = window->Control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* box = qobject_cast<QGroupBox*>(control))
        return box->title();
    if (auto* label = qobject_cast<CXLabel*>(control))
        return label->Text();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    return {};
}

bool WindowTest::WaitFor(const std::function<bool()>& condition, int milliseconds)
{
    return QTest::qWaitFor(condition, milliseconds);
}

void WindowTest::Unplug(const std::string& path)
{
    source->Unplug(path);
    // The removal reaches the window by a queued call; let it run.
    QCoreApplication::sendPostedEvents();
}

void WindowTest::Plug(const std::string& path)
{
    source->Plug(path);
    QCoreApplication::sendPostedEvents();
}

FrameBytes WindowTest::JpegStill(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(QColor(200, 120, 40));
    {
        QPainter painter(&picture);
        painter.fillRect(0, 0, width / 2, height / 2, QColor(30, 160, 220));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 90);
    return std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
}

void WindowTest::Deliver(const FrameBytes& still)
{
    window->AddStill(still, LocalTimeNow());
}

} // namespace vistrel::test
