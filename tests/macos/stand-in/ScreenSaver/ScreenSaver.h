// STAND-IN, not Apple's header. Declares only the ScreenSaver class and methods that the sources
// in platform/macos use, following Apple's documented declarations, so that those sources can be
// compiled for syntax and types on machines without the macOS SDK. Nothing is ever linked
// against it.
#pragma once

#include <AppKit/AppKit.h>

NS_ASSUME_NONNULL_BEGIN

@interface ScreenSaverView : NSView
// The only designated initializer: NSView's -initWithFrame: and -initWithCoder: are inherited as
// secondary ones, so a subclass's designated initializer may not call them on super.
- (nullable instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview NS_DESIGNATED_INITIALIZER;
- (nullable instancetype)initWithFrame:(NSRect)frame;
@property NSTimeInterval animationTimeInterval;
- (void)startAnimation;
- (void)stopAnimation;
@property (readonly, getter=isAnimating) BOOL animating;
- (void)drawRect:(NSRect)rect;
- (void)animateOneFrame;
@property (readonly) BOOL hasConfigureSheet;
@property (readonly, strong, nullable) NSWindow* configureSheet;
@property (readonly, getter=isPreview) BOOL preview;
@end

NS_ASSUME_NONNULL_END
