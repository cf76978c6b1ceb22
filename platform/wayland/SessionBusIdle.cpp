#include "SessionBusIdle.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "MonotonicClock.h"

namespace duskmere {

namespace {

constexpr const char* monitorName = "org.gnome.Mutter.IdleMonitor";
constexpr const char* monitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* managerName = "org.gnome.SessionManager";
constexpr const char* managerPath = "/org/gnome/SessionManager";
// IsInhibited's flag for "do not treat the session as idle".
constexpr uint32_t inhibitIdle = 8;
// The calls made while starting wait this long at most.
constexpr uint64_t startCallMicros = 5000000;

SessionBusIdle* self(void* data) { return static_cast<SessionBusIdle*>(data); }

int watchFiredSignal(sd_bus_message* m, void* data, sd_bus_error*) {
    uint32_t id = 0;
    if (sd_bus_message_read(m, "u", &id) > 0) self(data)->watchFired(id);
    return 0;
}

int activeWatchReply(sd_bus_message* m, void* data, sd_bus_error*) {
    uint32_t id = 0;
    if (!sd_bus_message_is_method_error(m, nullptr) && sd_bus_message_read(m, "u", &id) > 0)
        self(data)->activeWatchAdded(id);
    return 0;
}

int inhibitedReply(sd_bus_message* m, void* data, sd_bus_error*) {
    // Where no session manager runs, the failed call says "not inhibited".
    int inhibited = 0;
    if (sd_bus_message_is_method_error(m, nullptr) || sd_bus_message_read(m, "b", &inhibited) <= 0) inhibited = 0;
    self(data)->inhibitedAnswer(inhibited != 0);
    return 0;
}

int inhibitorRemovedSignal(sd_bus_message*, void* data, sd_bus_error*) {
    self(data)->inhibitorRemoved();
    return 0;
}

std::string reason(const sd_bus_error& error, int r) {
    if (error.message) return error.message;
    return std::strerror(r < 0 ? -r : EIO);
}

}  // namespace

SessionBusIdle::~SessionBusIdle() {
    sd_bus_slot_unref(watchMatch_);
    sd_bus_slot_unref(inhibitorMatch_);
    // The watches end with the connection. Nothing queued is worth waiting for on a bus that
    // may not read: no flush.
    if (bus_) sd_bus_close_unref(bus_);
}

bool SessionBusIdle::start(uint32_t seconds, std::string& error) {
    seconds_ = seconds;
    int r = sd_bus_open_user(&bus_);
    if (r < 0) {
        bus_ = nullptr;
        error = std::string("no session bus (") + std::strerror(-r) + ")";
        return false;
    }
    sd_bus_set_method_call_timeout(bus_, startCallMicros);
    r = sd_bus_match_signal(bus_, &watchMatch_, monitorName, monitorPath, monitorName, "WatchFired", watchFiredSignal, this);
    if (r >= 0)
        r = sd_bus_match_signal(bus_, &inhibitorMatch_, managerName, managerPath, managerName, "InhibitorRemoved",
                                inhibitorRemovedSignal, this);
    if (r < 0) {
        error = std::string("the session bus cannot be used (") + std::strerror(-r) + ")";
        return false;
    }
    sd_bus_error failure = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    r = sd_bus_call_method(bus_, monitorName, monitorPath, monitorName, "AddIdleWatch", &failure, &reply, "t",
                           static_cast<uint64_t>(seconds) * 1000);
    if (r >= 0) r = sd_bus_message_read(reply, "u", &idleWatch_);
    sd_bus_message_unref(reply);
    if (r < 0) {
        error = std::string("GNOME's idle monitor (") + monitorName + ") does not answer on the session bus: " +
                reason(failure, r);
        sd_bus_error_free(&failure);
        return false;
    }
    return true;
}

bool SessionBusIdle::takeIdle() {
    const bool was = pending_;
    pending_ = false;
    return was;
}

int SessionBusIdle::fd() const { return bus_ ? sd_bus_get_fd(bus_) : -1; }

short SessionBusIdle::events() const {
    const int e = bus_ ? sd_bus_get_events(bus_) : 0;
    return static_cast<short>(e > 0 ? e : 0);
}

int64_t SessionBusIdle::deadline() const {
    int64_t at = rearmAt_;
    uint64_t usec = 0;
    if (bus_ && sd_bus_get_timeout(bus_, &usec) >= 0 && usec != UINT64_MAX) {
        const int64_t busAt = static_cast<int64_t>(usec) * 1000;
        at = at < 0 ? busAt : std::min(at, busAt);
    }
    return at;
}

bool SessionBusIdle::process(std::string& error) {
    if (!bus_) return true;
    int r;
    while ((r = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (r < 0 || sd_bus_is_open(bus_) <= 0) {
        error = std::string("lost the connection to the session bus (") + std::strerror(r < 0 ? -r : ECONNRESET) + ")";
        return false;
    }
    if (rearmAt_ >= 0 && monotonicNanos() >= rearmAt_) {
        rearmAt_ = -1;
        if (idle_ && heldBack_) askInhibited();
    }
    return true;
}

void SessionBusIdle::askInhibited() {
    const int r = sd_bus_call_method_async(bus_, nullptr, managerName, managerPath, managerName, "IsInhibited",
                                           inhibitedReply, this, "u", inhibitIdle);
    if (r < 0) {
        heldBack_ = false;
        pending_ = !reported_;
        reported_ = true;
    }
}

void SessionBusIdle::watchFired(uint32_t id) {
    if (id == idleWatch_ && id != 0) {
        idle_ = true;
        heldBack_ = false;
        reported_ = false;
        rearmAt_ = -1;
        // A user-active watch fires once, at the first input, and is added afresh for each idle
        // period.
        if (activeWatch_ == 0)
            sd_bus_call_method_async(bus_, nullptr, monitorName, monitorPath, monitorName, "AddUserActiveWatch",
                                     activeWatchReply, this, "");
        askInhibited();
    } else if (id == activeWatch_ && id != 0) {
        activeWatch_ = 0;
        idle_ = false;
        heldBack_ = false;
        rearmAt_ = -1;
    }
}

void SessionBusIdle::inhibitedAnswer(bool inhibited) {
    if (!idle_ || reported_) return;  // the user came back meanwhile
    heldBack_ = inhibited;
    if (!inhibited) {
        reported_ = true;
        pending_ = true;
    }
}

void SessionBusIdle::inhibitorRemoved() {
    // The video ended while the user was away: the saver comes a full idle period later (if no
    // other inhibitor holds it then), as if the inhibitor's end were the last input.
    if (idle_ && heldBack_) rearmAt_ = monotonicNanos() + static_cast<int64_t>(seconds_) * 1000000000;
}

}  // namespace duskmere
