#pragma once

// Objective-C++ only: included by the principal-class sources in this folder.

#import <ScreenSaver/ScreenSaver.h>

#include <memory>

#include "MacSaverPlatform.h"
#include "host/PixelSaverView.h"

namespace duskmere {

// What a bundle's principal class owns: the platform for its view and the portable saver view
// that runs on it. The principal classes stay thin forwarders, because every Objective-C class
// name is global to the host process that loads both bundles; everything shared lives here.
//
// A principal class implements, besides the ScreenSaverView overrides, the two selectors this
// host schedules on it: saverWillStop: (forwarded to notificationArrived) and
// startAnimationIfHostDidNot (forwarded to the method of the same name). Its startAnimation
// override calls startAnimation here first, and its view is opaque.
class MacSaverHost {
public:
    // How long a host that never starts the animation is given before the view starts it.
    static constexpr double startAnimationGrace = 0.5;

    template <class View>
    static std::unique_ptr<MacSaverHost> fromFrame(ScreenSaverView* view) {
        std::unique_ptr<MacSaverHost> host(new MacSaverHost(view));
        host->saver_ = std::make_unique<View>(host->platform_, PixelSaverView::FromFrame{});
        return host;
    }

    template <class View>
    static std::unique_ptr<MacSaverHost> fromCoder(ScreenSaverView* view) {
        std::unique_ptr<MacSaverHost> host(new MacSaverHost(view));
        host->saver_ = std::make_unique<View>(host->platform_, PixelSaverView::FromCoder{});
        return host;
    }

    MacSaverHost(const MacSaverHost&) = delete;
    MacSaverHost& operator=(const MacSaverHost&) = delete;

    void animateOneFrame() { saver_->animateOneFrame(); }
    // Clipped to the view's bounds: the enlarged canvas overhangs the top and right edges by up
    // to one canvas pixel, and views need not clip their drawing.
    void drawRect();
    // The host asks for the animation: an exit pending since a will-stop is called off.
    void startAnimation() { saver_->startAnimation(); }
    void notificationArrived(NSNotification* notification) { platform_.deliverNotification(notification); }

    // The legacy host of recent systems sometimes puts the view on screen and never calls
    // startAnimation. When the view enters a window without animating, it checks again after a
    // short grace and only then starts the animation itself; it stops only what it started.
    void viewDidMoveToWindow();
    void startAnimationIfHostDidNot();

private:
    explicit MacSaverHost(ScreenSaverView* view) : view_(view), platform_(view) {}

    __weak ScreenSaverView* view_;
    MacSaverPlatform platform_;
    std::unique_ptr<PixelSaverView> saver_;  // after platform_, which it uses, so it goes first
    bool startedAnimation_ = false;
};

}  // namespace duskmere
