#include "PlanResults.h"

#include "LocalTime.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

std::string ReportTimestamp() {
    const std::tm t = LocalTime(std::time(nullptr));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

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
