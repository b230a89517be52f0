#include "CliSession.h"

#include "CliError.h"
#include "Interrupt.h"

#include "FirmwareBlob.h"

#include <utility>

namespace {

class SignalStop : public BoxStop {
public:
    int Signal() const override { return InterruptSignal(); }
    bool SleepUnlessStopped(int ms) override { return SleepUnlessInterrupted(ms); }
};

BoxTarget TargetOf(const CliOptions& options) {
    BoxTarget target;
    target.Port = options.Port;
    target.Serial = options.Serial;
    target.Verbose = options.Verbose;
    // info shows a due update itself.
    target.NoteUpdateDue = options.Command != "info";
    return target;
}

}  // namespace

BoxStop& InterruptStop() {
    static SignalStop stop;
    return stop;
}

FirmwareImage LoadCarriedImage() {
    FirmwareImage image;
    const auto blob = CarriedFirmwareBlob();
    try {
        image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    } catch (const EFailure& e) {
        throw CliError(ExitDeviceFailed, e.Message());
    }
    return image;
}

CliSession::CliSession(CliOptions options, BoxEvents& events)
    : BoxSession(TargetOf(options), LoadCarriedImage(), events, InterruptStop()), options_(std::move(options)) {}
