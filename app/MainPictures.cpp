#include "MainPictures.h"

#include <array>

namespace {
constexpr std::array<const char*, MainPictureCount> PictureFiles = {
    ":/icons/exit.svg", ":/icons/port-closed.svg", ":/icons/port-open.svg", ":/icons/folder.svg",
    ":/icons/disk.svg", ":/icons/disk2.svg",       ":/icons/chip.svg",      ":/icons/info.svg",
};
}  // namespace

const QString MilOnPicture = QStringLiteral(":/pictures/ImgMilOn.svg");
const QString MilOffPicture = QStringLiteral(":/pictures/ImgMilOff.svg");

QString MainPicturePath(int index) {
    if (index < 0 || index >= MainPictureCount) return {};
    return QLatin1String(PictureFiles[static_cast<std::size_t>(index)]);
}

QIcon MainPicture(int index) {
    const QString path = MainPicturePath(index);
    return path.isEmpty() ? QIcon() : QIcon(path);
}
