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
    case BoxView::Kind::NoAnswer:
        return QStringLiteral("no answer from the server");
    case BoxView::Kind::InUse:
        return QStringLiteral("in use");
    case BoxView::Kind::NoPermission:
        return QStringLiteral("no permission");
    case BoxView::Kind::Failed:
        return QStringLiteral("failed: ") + Latin1(view.Failure);
    case BoxView::Kind::Released:
    case BoxView::Kind::LeftAlone:
        break;
    }
    return QStringLiteral("released");
}

QString StateTip(const BoxView& view) {
    switch (view.State) {
    case BoxView::Kind::InUse:
        return QStringLiteral("Another program, or another client of the device server, has the port; "
                              "it is tried again every second");
    case BoxView::Kind::NoPermission:
        return Latin1(view.Failure.empty() ? std::string("You may not open this port") : view.Failure);
    case BoxView::Kind::NoAnswer:
        return QStringLiteral("The device server does not answer; it is tried again every second");
    default:
        return {};
    }
}

StateLook LookOf(const BoxView& view, bool busy) {
    if (busy) return StateLook::Busy;
    switch (view.State) {
    case BoxView::Kind::Ready:
        return view.UpdateDue ? StateLook::UpdateDue : StateLook::Ready;
    case BoxView::Kind::Silent:
    case BoxView::Kind::Gone:
    case BoxView::Kind::NoAnswer:
        return StateLook::Lost;
    case BoxView::Kind::InUse:
    case BoxView::Kind::NoPermission:
    case BoxView::Kind::Failed:
        return StateLook::Trouble;
    default:
        return StateLook::Waiting;
    }
}

const std::array<const char*, 10> BenchColumnTitles = {"Port",       "Serial number", "Firmware", "Protocol", "ECUs",
                                                      "MIL",        "Codes ECU1",    "Codes ECU2", "State",  "Last job"};
