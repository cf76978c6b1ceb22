// The principal class of the bundle that shows the campfire forest. It is the bundle's only Objective-C
// class: the host process loads every saver bundle, and Objective-C class names are global there.

#import <ScreenSaver/ScreenSaver.h>

#include <memory>

#include "MacSaverHost.h"
#include "campfire/CampfireSaverView.h"

@interface CampfireSaverView : ScreenSaverView
@end

@implementation CampfireSaverView {
    std::unique_ptr<duskmere::MacSaverHost> _host;
}

- (instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview {
    self = [super initWithFrame:frame isPreview:isPreview];
    if (self) _host = duskmere::MacSaverHost::fromFrame<duskmere::CampfireSaverView>(self);
    return self;
}

- (instancetype)initWithCoder:(NSCoder*)coder {
    self = [super initWithCoder:coder];
    if (self) _host = duskmere::MacSaverHost::fromCoder<duskmere::CampfireSaverView>(self);
    return self;
}

- (void)dealloc {
    [[NSDistributedNotificationCenter defaultCenter] removeObserver:self];
}

- (void)saverWillStop:(NSNotification*)notification {
    _host->notificationArrived(notification);
}

- (void)animateOneFrame {
    _host->animateOneFrame();
}

- (void)drawRect:(NSRect)dirtyRect {
    (void)dirtyRect;  // the whole view is redrawn every time
    _host->drawRect();
}

- (BOOL)isOpaque {
    return YES;  // every redraw fills the whole view, so nothing behind it need be drawn
}

- (BOOL)hasConfigureSheet {
    return NO;
}

- (NSWindow*)configureSheet {
    return nil;
}

- (void)viewDidMoveToWindow {
    [super viewDidMoveToWindow];
    _host->viewDidMoveToWindow();
}

- (void)startAnimationIfHostDidNot {
    _host->startAnimationIfHostDidNot();
}

- (void)startAnimation {
    _host->startAnimation();
    // After the view has started itself, a late call from the host must not add a second timer.
    if (self.isAnimating) return;
    [super startAnimation];
}

@end
