// The bench window on emulated boxes: what polling 128 of them costs the
// program (CPU per box, memory beyond the window's own, measured on
// `knsimtool --bench` as a child), what reading the machine's port list
// again every two seconds costs, how long eight firmware updates from the
// window take against one, and the longest the window's event loop is held up
// meanwhile (the longest gap between the ticks of a 10 ms timer). Prints the
// figures and RATIO lines; never passes or fails on a time.
//   bench_window [--poll-seconds N] [--poll-boxes N]   the polling measure's
//                                                      length (default 60) and boxes (128)
#include "BenchSupport.h"

#include "app/BenchWindow.h"
#include "app/CarriedImage.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Boxes = 8;

using Simulators = std::vector<std::unique_ptr<EmulatedSimulator>>;

Simulators StartBoxes(int count, bool oldFirmware) {
    Simulators boxes;
    for (int i = 0; i < count; ++i) {
        EmulatorOptions o;
        o.Serial = "KNB" + std::to_string(i + 1);
        o.Pace = true;
        o.KeepLog = false;
        if (oldFirmware) o.Version = std::array<std::uint8_t, 3>{1, 1, 0};
        boxes.push_back(std::make_unique<EmulatedSimulator>(o));
        boxes.back()->Start();
    }
    return boxes;
}

std::string PortList(const Simulators& boxes, const std::string& fallback) {
    std::string list;
    for (const auto& b : boxes) list += (list.empty() ? "" : ",") + b->PortPath();
    return list.empty() ? fallback : list;
}

struct PollCost {
    double CpuPercentPerBox = 0;
    long ResidentKb = 0;
};

// The window program polling the boxes for seconds, after they were found.
PollCost MeasurePolling(const Simulators& boxes, int seconds) {
    BenchChild bench(ProgramPath("knsimtool"), {"--bench", "--port", PortList(boxes, "/nonexistent/ttyUSB0")},
                     {{"QT_QPA_PLATFORM", "offscreen"}});
    std::this_thread::sleep_for(std::chrono::seconds(5));  // found and read
    const double before = bench.CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    PollCost cost;
    const double perBox = (bench.CpuSeconds() - before) / std::max<std::size_t>(boxes.size(), 1);
    cost.CpuPercentPerBox = 100.0 * perBox / seconds;
    cost.ResidentKb = bench.ResidentKb();
    return cost;
}

struct UpdateRun {
    double Ms = 0;
    double LongestGapMs = 0;
};

// Update firmware on every box from the window, with a timer's ticks watched.
UpdateRun MeasureUpdates(int count) {
    Simulators boxes = StartBoxes(count, true);
    std::vector<std::string> ports;
    for (const auto& b : boxes) ports.push_back(b->PortPath());
    TBenchWindow window(ports, false, CarriedImage(), StandardBenchDialogs(QString(), std::string()));
    window.show();
    auto* update = window.findChild<QAction*>(QStringLiteral("BenchUpdate"));
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("BenchRows"));
    auto allDue = [&] {
        for (int r = 0; r < count; ++r) {
            const QTableWidgetItem* state = table->item(r, TBenchWindow::ColState);
            if (!state || state->text() != QStringLiteral("ready, firmware update due")) return false;
        }
        return true;
    };
    QElapsedTimer waited;
    waited.start();
    while (!allDue()) {
        if (waited.elapsed() > 20000) throw std::runtime_error("the boxes were not found");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    UpdateRun run;
    QElapsedTimer sinceTick;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        run.LongestGapMs = std::max(run.LongestGapMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    const auto started = BenchClock::now();
    update->trigger();
    sinceTick.start();
    ticks.start(10);
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!window.Busy()) loop.quit();
    });
    check.start(20);
    loop.exec();
    run.Ms = MsBetween(started, BenchClock::now());
    ticks.stop();
    window.close();
    return run;
}

// CPU time of this thread, in ms.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One read of the machine's port list, as the bench's rescan makes it: its
// CPU time, the median of many.
double RescanCpuMs() {
    const auto list = StandardBenchDialogs(QString(), std::string()).ListPorts;
    std::vector<double> times;
    for (int i = 0; i < 201; ++i) {
        const double before = ThreadCpuMs();
        (void)list();
        times.push_back(ThreadCpuMs() - before);
    }
    std::nth_element(times.begin(), times.begin() + 100, times.end());
    return times[100];
}

}  // namespace

int main(int argc, char** argv) {
    int pollSeconds = 60;
    int pollBoxes = 128;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--poll-seconds") pollSeconds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--poll-boxes") pollBoxes = std::max(1, std::atoi(argv[i + 1]));
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        std::printf("## bench window: emulated boxes on paced lines\n");
        const PollCost alone = MeasurePolling({}, 10);
        {
            const Simulators boxes = StartBoxes(pollBoxes, false);
            const PollCost polled = MeasurePolling(boxes, pollSeconds);
            const double extraMb = static_cast<double>(polled.ResidentKb - alone.ResidentKb) / 1024.0;
            std::printf("polling %d boxes for %d s: %.4f %% of a core per box (goal at most 0.05)\n", pollBoxes,
                        pollSeconds, polled.CpuPercentPerBox);
            std::printf("memory: %.1f MB with %d boxes, %.1f MB without; %.3f MB per box (goal at most 0.2)\n",
                        polled.ResidentKb / 1024.0, pollBoxes, alone.ResidentKb / 1024.0, extraMb / pollBoxes);
        }
        const double rescan = RescanCpuMs();
        std::printf("the port list read again: %.3f ms of CPU, every %d ms: %.4f %% of a core (goal at most 0.1)\n",
                    rescan, TBenchWindow::RescanMs, 100.0 * rescan / TBenchWindow::RescanMs);

        const UpdateRun one = MeasureUpdates(1);
        const UpdateRun eight = MeasureUpdates(Boxes);
        std::printf("update from the window: one box %.0f ms, %d boxes %.0f ms\n", one.Ms, Boxes, eight.Ms);
        std::printf("RATIO eight updates / one: %.3f (goal at most 1.15)\n", eight.Ms / one.Ms);
        std::printf("longest gap between the window's 10 ms ticks during %d updates: %.1f ms (goal at most 100)\n",
                    Boxes, eight.LongestGapMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_window: %s\n", e.what());
        return 1;
    }
    return 0;
}
