#include "IdleWatch.h"

#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

namespace duskmere {

namespace {

IdleWatch* self(void* data) { return static_cast<IdleWatch*>(data); }

// Resumed needs nothing: the input that ends a showing reaches the saver's own surfaces, which
// apply the saver's rules (a jitter of the mouse is input to the compositor, not to us).
const ext_idle_notification_v1_listener notificationListener = {
    [](void* data, ext_idle_notification_v1*) { self(data)->idled(); },
    [](void*, ext_idle_notification_v1*) {},
};

const org_kde_kwin_idle_timeout_listener kdeTimeoutListener = {
    [](void* data, org_kde_kwin_idle_timeout*) { self(data)->idled(); },
    [](void*, org_kde_kwin_idle_timeout*) {},
};

}  // namespace

IdleWatch::~IdleWatch() {
    if (notification_) ext_idle_notification_v1_destroy(notification_);
    if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
    if (kdeTimeout_) org_kde_kwin_idle_timeout_release(kdeTimeout_);
    if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
}

bool IdleWatch::global(wl_registry* registry, uint32_t name, std::string_view interface, uint32_t) {
    if (interface == ext_idle_notifier_v1_interface.name) {
        notifier_ = static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
        return true;
    }
    if (interface == org_kde_kwin_idle_interface.name) {
        kdeIdle_ = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
        return true;
    }
    return false;
}

bool IdleWatch::start(wl_seat* seat, std::string& error) {
    const uint32_t ms = seconds_ * 1000;
    if ((notifier_ || kdeIdle_) && !seat) {
        error = "the Wayland compositor has no seat, so no input to be idle from";
        return false;
    }
    if (notifier_) {
        notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, ms, seat);
        ext_idle_notification_v1_add_listener(notification_, &notificationListener, this);
        return true;
    }
    if (kdeIdle_) {
        kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat, ms);
        org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kdeTimeoutListener, this);
        return true;
    }
    bus_ = std::make_unique<SessionBusIdle>();
    std::string why;
    if (bus_->start(seconds_, why)) return true;
    bus_.reset();
    error = "cannot tell when the session is idle: the Wayland compositor offers no idle protocol "
            "(ext_idle_notifier_v1 or org_kde_kwin_idle), and " + why;
    return false;
}

bool IdleWatch::takeIdle() {
    const bool was = pending_ || (bus_ && bus_->takeIdle());
    pending_ = false;
    return was;
}

}  // namespace duskmere
