#include "PlanResults.h"

#include <algorithm>

const char* OutcomeWord(StepOutcome outcome) {
    switch (outcome) {
    case StepOutcome::Passed: return "passed";
    case StepOutcome::Failed: return "failed";
    case StepOutcome::Error: return "error";
    case StepOutcome::Skipped: return "skipped";
    }
    return "";
}

int BoxPlanRun::Count(StepOutcome outcome) const {
    return static_cast<int>(
        std::count_if(Steps.begin(), Steps.end(), [outcome](const StepResult& s) { return s.Outcome == outcome; }));
}

int BoxPlanRun::ExitStatus() const {
    return Count(StepOutcome::Passed) == static_cast<int>(Steps.size()) ? 0 : 1;
}
