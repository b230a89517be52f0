#include "SessionClose.h"

#include "link/uComIo.h"

namespace {

void RunStep(const std::function<void()>& step, const SessionClose& steps) {
    if (!step) return;
    try {
        step();
    } catch (const std::exception& failure) {
        if (steps.Report) steps.Report(failure);
    }
}

}  // namespace

void CloseSession(TComIo* link, const SessionClose& steps) {
    RunStep(steps.SavePlacement, steps);
    if (link) RunStep([link] { link->ClosePort(); }, steps);
    RunStep(steps.WriteSettings, steps);
}
