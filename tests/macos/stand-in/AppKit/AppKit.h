// STAND-IN, not Apple's header. Declares only the AppKit classes and methods that the sources in
// platform/macos use, following Apple's documented declarations, so that those sources can be
// compiled for syntax and types on machines without the macOS SDK. Nothing is ever linked
// against it.
#pragma once

#include <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef CGRect NSRect;
typedef CGSize NSSize;
typedef CGPoint NSPoint;

@class NSWindow;

@interface NSResponder : NSObject
@end

@interface NSView : NSResponder
- (instancetype)initWithFrame:(NSRect)frameRect NS_DESIGNATED_INITIALIZER;
- (nullable instancetype)initWithCoder:(NSCoder*)coder NS_DESIGNATED_INITIALIZER;
@property NSRect bounds;
@property BOOL needsDisplay;
@property (nullable, readonly, unsafe_unretained) NSWindow* window;
@property (readonly, getter=isOpaque) BOOL opaque;
- (void)viewDidMoveToWindow;
- (void)drawRect:(NSRect)dirtyRect;
@end

@interface NSWindow : NSResponder
@end

@interface NSGraphicsContext : NSObject
@property (class, nullable, strong) NSGraphicsContext* currentContext;
@property (readonly) CGContextRef CGContext;
@end

NS_ASSUME_NONNULL_END
