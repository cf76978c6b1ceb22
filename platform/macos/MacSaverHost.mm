#include "MacSaverHost.h"

#import <AppKit/AppKit.h>
#import <CoreGraphics/CoreGraphics.h>
#import <Foundation/Foundation.h>

namespace duskmere {

void MacSaverHost::drawRect() {
    ScreenSaverView* view = view_;
    CGContextRef context = NSGraphicsContext.currentContext.CGContext;
    if (!view || !context) {
        saver_->drawRect();  // it finds no context either and draws nothing
        return;
    }
    CGContextSaveGState(context);
    CGContextClipToRect(context, view.bounds);
    saver_->drawRect();
    CGContextRestoreGState(context);
}

void MacSaverHost::viewDidMoveToWindow() {
    ScreenSaverView* view = view_;
    if (!view) return;
    [NSObject cancelPreviousPerformRequestsWithTarget:view selector:@selector(startAnimationIfHostDidNot) object:nil];
    if (view.window) {
        if (!view.isAnimating)
            [view performSelector:@selector(startAnimationIfHostDidNot) withObject:nil afterDelay:startAnimationGrace];
        return;
    }
    // Out of every window: undo our own start, so a view the host has let go of stops ticking.
    if (startedAnimation_ && view.isAnimating) [view stopAnimation];
    startedAnimation_ = false;
}

void MacSaverHost::startAnimationIfHostDidNot() {
    ScreenSaverView* view = view_;
    if (!view || !view.window || view.isAnimating) return;
    startedAnimation_ = true;
    [view startAnimation];
}

}  // namespace duskmere
