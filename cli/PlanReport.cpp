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
    std::size_t width[5] = {};
    for (const auto& row : rows)
        for (std::size_t c = 0; c < 5; ++c) width[c] = std::max(width[c], row[c].size());
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < 5; ++c) line += row[c] + std::string(width[c] - row[c].size() + 2, ' ');
        line += row[5];
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
    }
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
        if (box.Port.empty()) j.Key("port").Null(); else j.Field("port", box.Port);
        if (box.Serial.empty()) j.Key("serial").Null(); else j.Field("serial", box.Serial);
        if (box.Firmware.empty()) j.Key("firmware").Null(); else j.Field("firmware", box.Firmware);
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
