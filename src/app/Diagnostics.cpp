#include "app/Diagnostics.h"

#include "capture/contract/Diagnostics.h"

// Nothing shows unless asked for: the threshold is above every level the program logs at.
Q_LOGGING_CATEGORY(lcCapture, "vistrel.capture", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcStill, "vistrel.still", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcSave, "vistrel.save", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcDevices, "vistrel.devices", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcConfig, "vistrel.config", QtCriticalMsg)

namespace vistrel {
namespace {

const QLoggingCategory& CategoryOf(DiagnosticTopic topic)
{
    switch (topic) {
    case DiagnosticTopic::Still:
        return lcStill();
    case DiagnosticTopic::Devices:
        return lcDevices();
    case DiagnosticTopic::Capture:
        break;
    }
    return lcCapture();
}

void ToCategory(DiagnosticTopic topic, const std::string& line)
{
    qCWarning(CategoryOf(topic)).noquote() << QString::fromStdString(line);
}

} // namespace

void InstallCaptureDiagnostics()
{
    SetDiagnosticSink(&ToCategory);
}

} // namespace vistrel
