#include "images/SaveFileName.h"

#include "images/Encoders.h"

#include <QDir>

namespace vistrel {

QString SaveFileName(const QString& saveFolder, const CaptureTime& saveTime, int position, std::int32_t format)
{
    const auto& encoders = ImageEncoders();
    if (format < 0 || format >= static_cast<std::int32_t>(encoders.size())) {
        return {};
    }
    const QString name = QString::asprintf("%04d%02d%02d%02d%02d%02d_%02d.%s", saveTime.year, saveTime.month,
                                           saveTime.day, saveTime.hour, saveTime.minute, saveTime.second,
                                           position, encoders[static_cast<std::size_t>(format)].extension);
    // The folder stays as the user gave it; only the joint gets exactly one separator.
    const QString folder = QDir::fromNativeSeparators(saveFolder);
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/'))) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

QString AlternativeFileName(const QString& fileName, int n)
{
    const int slash = fileName.lastIndexOf(QLatin1Char('/'));
    int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) {
        dot = fileName.size();   // no extension
    }
    return fileName.left(dot) + QStringLiteral("-%1").arg(n) + fileName.mid(dot);
}

} // namespace vistrel
