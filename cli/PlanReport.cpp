// The plan's table and JSON document.
#include "PlanReports.h"

#include "JsonWriter.h"
#include "TerminalText.h"

#include <algorithm>
#include <cstdio>

std::string SecondsField(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string BoxOutcome(const BoxPlanRun& box) {
    if (box.Count(StepOutcome::Error) > 0 || box.Count(StepOutcome::Skipped) > 0) return "error";
    return box.Count(StepOutcome::Failed) > 0 ? "failed" : "passed";
}

std::string PlanTable(const std::vector<BoxPlanRun>& boxes) {
    std::vector<std::vector<std::string>> rows = {{"PORT", "SERIAL", "STEP", "RESULT", "SECONDS", "REASON"}};
    int totals[4] = {0, 0, 0, 0};
    std::size_t steps = 0;
    for (const auto& box : boxes) {
        for (const auto& step : box.Steps) {
            const std::string reason = step.Reasons.empty() ? "" : ForTerminal(step.Reasons.front());
            rows.push_back({box.Port.empty() ? "-" : box.Port, box.Serial.empty() ? "-" : box.Serial,
                            ForTerminal(step.Name), OutcomeWord(step.Outcome),
                            step.Outcome == StepOutcome::Skipped ? "-" : SecondsField(step.Seconds),
                            reason.substr(0, reason.find('\n'))});
            ++totals[static_cast<int>(step.Outcome)];
            ++steps;
        }
    }
    std::string text = ColumnTable(rows);
    text += std::to_string(boxes.size()) + (boxes.size() == 1 ? " box, " : " boxes, ") + std::to_string(steps) +
            (steps == 1 ? " step: " : " steps: ") + std::to_string(totals[0]) + " passed, " + std::to_string(totals[1]) + " failed, " +
            std::to_string(totals[2]) + " error, " + std::to_string(totals[3]) + " skipped\n";
    return text;
}

std::string PlanJson(const std::vector<BoxPlanRun>& boxes) {
    JsonWriter j;
    j.BeginArray();
    for (const auto& box : boxes) {
        j.BeginObject();
        j.TextOrNull("port", box.Port).TextOrNull("serial", box.Serial).TextOrNull("firmware", box.Firmware);
        j.Field("result", BoxOutcome(box)).Field("started", box.Started).Key("seconds").Raw(SecondsField(box.Seconds));
        j.Key("steps").BeginArray();
        for (const auto& step : box.Steps) {
            j.BeginObject().Field("name", step.Name).Field("result", OutcomeWord(step.Outcome));
            j.Key("seconds").Raw(SecondsField(step.Seconds));
            if (step.ExitStatus) j.Field("exit_status", *step.ExitStatus); else j.Key("exit_status").Null();
            j.Key("reasons").BeginArray();
            for (const auto& reason : step.Reasons) j.String(reason);
            j.EndArray().EndObject();
        }
        j.EndArray().EndObject();
    }
    j.EndArray();
    return j.Text();
}
