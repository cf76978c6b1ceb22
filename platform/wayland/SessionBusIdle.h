#pragma once

#include <cstdint>
#include <string>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace duskmere {

// GNOME's way of saying the session is idle, on the session bus: mutter's idle monitor
// (org.gnome.Mutter.IdleMonitor) with one idle watch, and the session manager's idle inhibitors
// (org.gnome.SessionManager.IsInhibited with the idle flag) where that service runs. Everything
// after start() is asynchronous, so the bus is one more descriptor in the saver's poll loop.
class SessionBusIdle {
public:
    SessionBusIdle() = default;
    ~SessionBusIdle();
    SessionBusIdle(const SessionBusIdle&) = delete;
    SessionBusIdle& operator=(const SessionBusIdle&) = delete;

    // Connects and asks for an idle watch of `seconds`; false with the reason (no bus, no monitor).
    bool start(uint32_t seconds, std::string& error);
    // True once for every idle period that no inhibitor holds back.
    bool takeIdle();

    // For the poll loop: the descriptor and its events, and the deadline (monotonic nanoseconds,
    // -1 for none) by which process() must run even without input.
    int fd() const;
    short events() const;
    int64_t deadline() const;
    // Handles whatever has arrived; false with one line when the bus is gone.
    bool process(std::string& error);

    // Handler entry points.
    void watchFired(uint32_t id);
    void activeWatchAdded(uint32_t id) { activeWatch_ = id; }
    void inhibitedAnswer(bool inhibited);
    void inhibitorRemoved();

private:
    void askInhibited();

    sd_bus* bus_ = nullptr;
    sd_bus_slot* watchMatch_ = nullptr;
    sd_bus_slot* inhibitorMatch_ = nullptr;
    uint32_t seconds_ = 0;
    uint32_t idleWatch_ = 0;
    uint32_t activeWatch_ = 0;
    bool idle_ = false;       // the monitor said idle and no input came since
    bool heldBack_ = false;   // ... but an inhibitor kept the saver away
    bool reported_ = false;   // this idle period was handed to the saver
    bool pending_ = false;    // an idle period for takeIdle()
    int64_t rearmAt_ = -1;    // the last inhibitor went: a full idle period from then
};

}  // namespace duskmere
