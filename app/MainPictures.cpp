#include "MainPictures.h"

#include <array>

namespace {
constexpr std::array<const char*, MainPictureCount> PictureFiles = {
    "icons/exit", "icons/port-closed", "icons/port-open", "icons/folder",
    "icons/disk", "icons/disk2",       "icons/chip",      "icons/info",
};
}  // namespace

QString PicturePath(const char* name) { return QStringLiteral(":/") + QLatin1String(name) + QStringLiteral(".png"); }

const QString MilOnPicture = PicturePath("pictures/ImgMilOn");
const QString MilOffPicture = PicturePath("pictures/ImgMilOff");

QString MainPicturePath(int index) {
    if (index < 0 || index >= MainPictureCount) return {};
    return PicturePath(PictureFiles[static_cast<std::size_t>(index)]);
}

QIcon MainPicture(int index) {
    const QString path = MainPicturePath(index);
    return path.isEmpty() ? QIcon() : QIcon(path);
}
