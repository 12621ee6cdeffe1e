#pragma once

#include <QLoggingCategory>

// The program's diagnostics, quiet unless QT_LOGGING_RULES turns them on ("vistrel.*=true").
Q_DECLARE_LOGGING_CATEGORY(lcCapture)   // vistrel.capture: the capture graph, camera controls
Q_DECLARE_LOGGING_CATEGORY(lcStill)     // vistrel.still: still images
Q_DECLARE_LOGGING_CATEGORY(lcSave)      // vistrel.save: writing files
Q_DECLARE_LOGGING_CATEGORY(lcDevices)   // vistrel.devices: finding, opening, plugging devices
Q_DECLARE_LOGGING_CATEGORY(lcConfig)    // vistrel.config: the configuration files read at start

namespace vistrel {

// Sends the capture engine's diagnostics to the categories above.
void InstallCaptureDiagnostics();

} // namespace vistrel
