#include "BenchRowText.h"

#include "WindowLook.h"

#include "base/TroubleCode.h"

QString CodesText(const std::vector<std::uint16_t>& codes) {
    QString text = QString::number(static_cast<int>(codes.size()));
    for (std::size_t i = 0; i < codes.size(); ++i)
        text += (i == 0 ? QStringLiteral(": ") : QStringLiteral(" ")) + Latin1(CodeName(codes[i]));
    return text;
}

QString StateText(const BoxView& view) {
    switch (view.State) {
    case BoxView::Kind::Searching:
        return QStringLiteral("searching");
    case BoxView::Kind::Ready:
        return view.UpdateDue ? QStringLiteral("ready, firmware update due") : QStringLiteral("ready");
    case BoxView::Kind::Silent:
        return QStringLiteral("silent");
    case BoxView::Kind::Gone:
        return QStringLiteral("gone");
    case BoxView::Kind::Failed:
        return QStringLiteral("failed: ") + Latin1(view.Failure);
    case BoxView::Kind::Released:
    case BoxView::Kind::LeftAlone:
        break;
    }
    return QStringLiteral("released");
}

const std::array<const char*, 9> BenchColumnTitles = {"Port", "Serial number", "Firmware", "Protocol", "ECUs",
                                                     "MIL", "Codes ECU1", "Codes ECU2", "State"};
