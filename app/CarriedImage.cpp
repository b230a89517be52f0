#include "CarriedImage.h"

#include <QFile>

#include <stdexcept>
#include <vector>

FirmwareImage CarriedImage() {
    QFile resource(QStringLiteral(":/BIOS"));
    if (!resource.open(QIODevice::ReadOnly)) throw std::runtime_error("The carried firmware image is missing");
    const QByteArray bytes = resource.readAll();
    FirmwareImage image;
    image.Load(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return image;
}
