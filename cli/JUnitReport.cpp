// The plan's JUnit XML: the form Jenkins, GitLab and other CI servers read.
// Every text in it passes XmlEscaped, so that whatever a command printed,
// the file stays well-formed.
#include "PlanReports.h"

#include "XmlText.h"

#include <algorithm>

namespace {

std::string Attribute(const std::string& name, const std::string& value) {
    return " " + name + "=\"" + XmlEscaped(value, true) + "\"";
}

std::string Counts(int tests, int failures, int errors, int skipped, double seconds) {
    return Attribute("tests", std::to_string(tests)) + Attribute("failures", std::to_string(failures)) +
           Attribute("errors", std::to_string(errors)) + Attribute("skipped", std::to_string(skipped)) +
           Attribute("time", SecondsField(seconds));
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

// A box is known by its serial number, or by its port while that is
// unknown. Two boxes with one serial number (a cloned box, two emulators
// left at their default) get their ports besides: CI servers merge suites
// and classes of the same name.
std::string BoxName(const BoxPlanRun& box, const std::vector<BoxPlanRun>& boxes) {
    if (box.Serial.empty()) return box.Port;
    const auto same = std::count_if(boxes.begin(), boxes.end(), [&box](const BoxPlanRun& b) { return b.Serial == box.Serial; });
    return same > 1 && !box.Port.empty() ? box.Serial + " (" + box.Port + ")" : box.Serial;
}

// CI servers keep a test's history by class name and name: the box is part
// of the class name, so that two boxes' results of one step stay apart.
std::string TestCase(const TestPlan& plan, const std::string& boxName, const StepResult& step) {
    std::string xml = "    <testcase" + Attribute("classname", plan.Name + "." + boxName) + Attribute("name", step.Name) +
                      Attribute("time", SecondsField(step.Seconds)) + ">\n";
    const std::string first = step.Reasons.empty() ? "" : step.Reasons.front();
    switch (step.Outcome) {
    case StepOutcome::Passed: break;
    case StepOutcome::Failed:
        xml += "      <failure" + Attribute("message", first) + Attribute("type", step.Kind) + ">" +
               XmlEscaped(Joined(step.Reasons)) + "</failure>\n";
        break;
    case StepOutcome::Error:
        xml += "      <error" + Attribute("message", first) + Attribute("type", step.Kind) + ">" +
               XmlEscaped(Joined(step.Reasons)) + "</error>\n";
        break;
    case StepOutcome::Skipped: xml += "      <skipped" + Attribute("message", first) + "/>\n"; break;
    }
    if (!step.Out.empty()) xml += "      <system-out>" + XmlEscaped(step.Out) + "</system-out>\n";
    if (!step.Err.empty()) xml += "      <system-err>" + XmlEscaped(step.Err) + "</system-err>\n";
    return xml + "    </testcase>\n";
}

}  // namespace

std::string PlanJUnit(const TestPlan& plan, const std::vector<BoxPlanRun>& boxes, const std::string& hostName) {
    int tests = 0, failures = 0, errors = 0, skipped = 0;
    double seconds = 0;
    std::string suites;
    for (const auto& box : boxes) {
        const int t = static_cast<int>(box.Steps.size()), f = box.Count(StepOutcome::Failed),
                  e = box.Count(StepOutcome::Error), s = box.Count(StepOutcome::Skipped);
        tests += t, failures += f, errors += e, skipped += s;
        seconds = std::max(seconds, box.Seconds);  // the boxes run side by side
        const std::string name = BoxName(box, boxes);
        suites += "  <testsuite" + Attribute("name", name) + Counts(t, f, e, s, box.Seconds) +
                  Attribute("timestamp", box.Started) + Attribute("hostname", hostName) + ">\n";
        suites += "    <properties>\n";
        for (const auto& [name, value] : {std::pair<const char*, const std::string&>{"port", box.Port},
                                          {"serial", box.Serial},
                                          {"firmware", box.Firmware}})
            suites += "      <property" + Attribute("name", name) + Attribute("value", value) + "/>\n";
        suites += "    </properties>\n";
        for (const auto& step : box.Steps) suites += TestCase(plan, name, step);
        suites += "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + Attribute("name", plan.Name) +
           Counts(tests, failures, errors, skipped, seconds) + ">\n" + suites + "</testsuites>\n";
}

std::string RunErrorJUnit(const std::string& planName, const RunError& error, const std::string& hostName) {
    const std::string counts = Counts(1, 0, 1, 0, 0);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + Attribute("name", planName) + counts + ">\n" +
           "  <testsuite" + Attribute("name", "knsimtool-cli run") + counts + Attribute("timestamp", error.Started) +
           Attribute("hostname", hostName) + ">\n" +
           "    <testcase" + Attribute("classname", planName) + Attribute("name", "run") + Attribute("time", SecondsField(0)) +
           ">\n      <error" + Attribute("message", error.Message) + Attribute("type", error.Kind) + ">" +
           XmlEscaped(error.Message + "\n") + "</error>\n    </testcase>\n  </testsuite>\n</testsuites>\n";
}
