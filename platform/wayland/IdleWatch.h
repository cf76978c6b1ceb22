#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "SessionBusIdle.h"

struct ext_idle_notification_v1;
struct ext_idle_notifier_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;
struct wl_registry;
struct wl_seat;

namespace duskmere {

// How duskmere-wayland --idle learns that the session went idle: the compositor's
// ext_idle_notifier_v1 (which honours idle inhibitors by itself), else its older
// org_kde_kwin_idle (sway 1.7), else GNOME's idle monitor on the session bus. It reports the
// start of each idle period once; what ends a showing is the saver's own input.
class IdleWatch {
public:
    explicit IdleWatch(uint32_t seconds) : seconds_(seconds) {}
    ~IdleWatch();
    IdleWatch(const IdleWatch&) = delete;
    IdleWatch& operator=(const IdleWatch&) = delete;

    // From the registry listener: true when the global is an idle protocol, now bound.
    bool global(wl_registry* registry, uint32_t name, std::string_view interface, uint32_t version);
    // Once the globals are known: picks the source. False with one line when there is none.
    bool start(wl_seat* seat, std::string& error);
    // True once for every idle period begun since the last call.
    bool takeIdle();

    // The session bus, where that is the source: a descriptor for the poll loop (-1: none), its
    // events, the deadline (monotonic nanoseconds, -1: none) and the handling of what came.
    int fd() const { return bus_ ? bus_->fd() : -1; }
    short events() const { return bus_ ? bus_->events() : 0; }
    int64_t deadline() const { return bus_ ? bus_->deadline() : -1; }
    bool process(std::string& error) { return bus_ ? bus_->process(error) : true; }

    // Listener entry point.
    void idled() { pending_ = true; }

private:
    uint32_t seconds_;
    ext_idle_notifier_v1* notifier_ = nullptr;
    org_kde_kwin_idle* kdeIdle_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
    std::unique_ptr<SessionBusIdle> bus_;
    bool pending_ = false;
};

}  // namespace duskmere
