// The line event watcher on Windows: WaitCommEvent on an asynchronous
// request, ended through a stop event. The hand-over to the owning thread is
// in ComThread.cpp, the same on every system.
#include "ComThread.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <system_error>

namespace {

// A wait that ends in failure is tried again only after a pause, doubled at
// each failure in a row up to the maximum: wine fails every wait on a
// pseudo-terminal after about 2 ms (995), and a pulled adapter fails them at
// once; neither may turn the watcher into a busy loop.
constexpr DWORD kFirstBackOffMs = 20;
constexpr DWORD kMaxBackOffMs = 1000;

struct EventBit {
    TComEvent event;
    DWORD mask;
};
constexpr EventBit kEventBits[] = {
    {evRxChar, EV_RXCHAR}, {evTxEmpty, EV_TXEMPTY}, {evRxFlag, EV_RXFLAG}, {evRing, EV_RING},
    {evBreak, EV_BREAK},   {evCTS, EV_CTS},         {evDSR, EV_DSR},       {evError, EV_ERR},
    {evRLSD, EV_RLSD},     {evRx80Full, EV_RX80FULL},
};

DWORD MaskOf(TComEvents events) {
    DWORD mask = 0;
    for (const EventBit& b : kEventBits)
        if (events & ComEventBit(b.event)) mask |= b.mask;
    return mask;
}

TComEvents EventsOf(DWORD mask) {
    TComEvents events = 0;
    for (const EventBit& b : kEventBits)
        if (mask & b.mask) events |= ComEventBit(b.event);
    return events;
}

}  // namespace

TComThread::TComThread(WatchedLine line, TComEvents events, std::function<void()> onQueued, int inputSize,
                       Dispatch dispatch)
    : dispatch_(std::move(dispatch)),
      fd_(line.Handle),
      events_(events),
      pseudoTerminal_(line.PseudoTerminal),
      onQueued_(std::move(onQueued)),
      rx80Threshold_(inputSize) {
    stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stopEvent_)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEvent");
}

TComThread::~TComThread() {
    AbandonWatcher();
    if (stopEvent_) CloseHandle(stopEvent_);
}

void TComThread::Wake() {
    SetEvent(stopEvent_);
    Sleep(0);  // let the watcher see the stop before anyone waits for it
}

// The driver reports a transmit queue run empty and received bytes itself.
void TComThread::Transmitted() {}
void TComThread::Consumed(int) {}

void TComThread::Run() {
    HANDLE device = static_cast<HANDLE>(fd_);
    (void)SetCommMask(device, MaskOf(events_));
    OVERLAPPED request{};
    request.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    DWORD backOff = 0;

    while (request.hEvent) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        DWORD mask = 0;
        DWORD ignored = 0;
        ResetEvent(request.hEvent);
        bool ok = WaitCommEvent(device, &mask, &request) != FALSE;
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            HANDLE waits[2] = {stopEvent_, request.hEvent};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                // Stopped: an empty mask ends the pending wait; the request
                // must be over before its record goes away.
                (void)SetCommMask(device, 0);
                (void)CancelIoEx(device, &request);
                (void)GetOverlappedResult(device, &request, &ignored, TRUE);
                break;
            }
            ok = GetOverlappedResult(device, &request, &ignored, FALSE) != FALSE;
        }
        if (ok) {
            backOff = 0;
            const TComEvents set = static_cast<TComEvents>(EventsOf(mask) & events_);
            if (set != 0) HandOver(set);
            continue;
        }
        backOff = backOff == 0 ? kFirstBackOffMs : std::min(backOff * 2, kMaxBackOffMs);
        if (WaitForSingleObject(stopEvent_, backOff) == WAIT_OBJECT_0) break;
    }

    // Leave the input queue empty for whoever opens the line next. The output
    // queue is left alone: every write has completed already, and under wine
    // an output purge on a pseudo-terminal discards what the far end has not
    // read yet.
    (void)SetCommMask(device, 0);
    (void)PurgeComm(device, PURGE_RXCLEAR);
    if (request.hEvent) CloseHandle(request.hEvent);
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}
