#include "BenchJobEvents.h"

#include "WindowLook.h"

namespace {

// What a job's box tells its row (on the box's thread).
class RowEvents : public BoxEvents, public IUpdateView {
public:
    using Post = std::function<void(const QString& busy)>;
    explicit RowEvents(Post post) : post_(std::move(post)) {}

    void Note(const std::string&) override {}
    void Verbose(const std::string&) override {}
    void Searching() override { post_(QStringLiteral("searching")); }
    IUpdateView& UpdateView() override { return *this; }
    void UpdateEnded() override {}
    void ShowLayout(const UpdateLayout& layout) override {
        percent_ = -1;
        waiting_ = layout.ResetPrompt;
        post_(waiting_ ? QStringLiteral("waiting for the reset button") : QStringLiteral("updating 0 %"));
    }
    void SetProgress(int position, int maximum) override {
        // The prompt stays until the first page has gone.
        if (waiting_ && position == 0) return;
        waiting_ = false;
        const int percent = maximum > 0 ? static_cast<int>(100LL * position / maximum) : 0;
        if (percent == percent_) return;  // a page at a time would flood the window
        percent_ = percent;
        post_(QStringLiteral("updating %1 %").arg(percent));
    }

private:
    Post post_;
    int percent_ = -1;
    bool waiting_ = false;
};

}  // namespace

BenchJobObserver::BenchJobObserver(BenchJobReports reports) : reports_(std::move(reports)) {}

BenchJobObserver::~BenchJobObserver() = default;

BoxEvents& BenchJobObserver::AddBox(const std::string& port) {
    ports_.push_back(port);
    events_.push_back(std::make_unique<RowEvents>([this, port](const QString& busy) { reports_.Progress(port, busy); }));
    return *events_.back();
}

void BenchJobObserver::Line(const std::string& text) { reports_.Line(Latin1(text)); }

void BenchJobObserver::Finished(std::size_t row, bool ok, const std::string& failure) {
    reports_.Finished(ports_[row], ok, Latin1(failure));
}
