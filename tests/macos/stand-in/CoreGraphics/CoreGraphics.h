// STAND-IN, not Apple's header. Declares only the CoreGraphics types and functions that the
// sources in platform/macos use, following Apple's documented declarations (the CF_ENUM and
// CF_OPTIONS types written as those macros expand in C++), so that those sources can be compiled
// for syntax and types on machines without the macOS SDK. Nothing is ever linked against it.
#pragma once

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include <CoreFoundation/CoreFoundation.h>

#if defined(__cplusplus)
extern "C" {
#endif

#pragma clang assume_nonnull begin

typedef double CGFloat;

struct CGPoint {
    CGFloat x;
    CGFloat y;
};
typedef struct CGPoint CGPoint;

struct CGSize {
    CGFloat width;
    CGFloat height;
};
typedef struct CGSize CGSize;

struct CGRect {
    CGPoint origin;
    CGSize size;
};
typedef struct CGRect CGRect;

static inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
    CGRect rect;
    rect.origin.x = x;
    rect.origin.y = y;
    rect.size.width = width;
    rect.size.height = height;
    return rect;
}

typedef struct CGContext* CGContextRef;
typedef struct CGColor* CGColorRef;
typedef struct CGColorSpace* CGColorSpaceRef;
typedef struct CGDataProvider* CGDataProviderRef;
typedef struct CGImage* CGImageRef;

typedef enum CGImageAlphaInfo : uint32_t CGImageAlphaInfo;
enum CGImageAlphaInfo : uint32_t {
    kCGImageAlphaNone,
    kCGImageAlphaPremultipliedLast,
    kCGImageAlphaPremultipliedFirst,
    kCGImageAlphaLast,
    kCGImageAlphaFirst,
    kCGImageAlphaNoneSkipLast,
    kCGImageAlphaNoneSkipFirst,
    kCGImageAlphaOnly
};

typedef uint32_t CGBitmapInfo;
enum : uint32_t {
    kCGBitmapAlphaInfoMask = 0x1F,
    kCGBitmapFloatInfoMask = 0xF00,
    kCGBitmapFloatComponents = (1 << 8),
    kCGBitmapByteOrderMask = 0x7000,
    kCGBitmapByteOrderDefault = (0 << 12),
    kCGBitmapByteOrder16Little = (1 << 12),
    kCGBitmapByteOrder32Little = (2 << 12),
    kCGBitmapByteOrder16Big = (3 << 12),
    kCGBitmapByteOrder32Big = (4 << 12)
};

typedef enum CGColorRenderingIntent : int32_t CGColorRenderingIntent;
enum CGColorRenderingIntent : int32_t {
    kCGRenderingIntentDefault,
    kCGRenderingIntentAbsoluteColorimetric,
    kCGRenderingIntentRelativeColorimetric,
    kCGRenderingIntentPerceptual,
    kCGRenderingIntentSaturation
};

typedef enum CGInterpolationQuality : int32_t CGInterpolationQuality;
enum CGInterpolationQuality : int32_t {
    kCGInterpolationDefault = 0,
    kCGInterpolationNone = 1,
    kCGInterpolationLow = 2,
    kCGInterpolationMedium = 4,
    kCGInterpolationHigh = 3
};

extern const CFStringRef kCGColorSpaceSRGB;

CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat alpha);
void CGColorRelease(CGColorRef _Nullable color);

CGColorSpaceRef _Nullable CGColorSpaceCreateWithName(CFStringRef _Nullable name);
void CGColorSpaceRelease(CGColorSpaceRef _Nullable space);

CGDataProviderRef _Nullable CGDataProviderCreateWithCFData(CFDataRef _Nullable data);
void CGDataProviderRelease(CGDataProviderRef _Nullable provider);

CGImageRef _Nullable CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                                   size_t bytesPerRow, CGColorSpaceRef _Nullable space, CGBitmapInfo bitmapInfo,
                                   CGDataProviderRef _Nullable provider, const CGFloat* _Nullable decode,
                                   bool shouldInterpolate, CGColorRenderingIntent intent);
void CGImageRelease(CGImageRef _Nullable image);

void CGContextSaveGState(CGContextRef _Nullable c);
void CGContextRestoreGState(CGContextRef _Nullable c);
void CGContextClipToRect(CGContextRef _Nullable c, CGRect rect);
void CGContextSetFillColorWithColor(CGContextRef _Nullable c, CGColorRef _Nullable color);
void CGContextFillRect(CGContextRef _Nullable c, CGRect rect);
void CGContextSetInterpolationQuality(CGContextRef _Nullable c, CGInterpolationQuality quality);
void CGContextDrawImage(CGContextRef _Nullable c, CGRect rect, CGImageRef _Nullable image);

#pragma clang assume_nonnull end

#if defined(__cplusplus)
}
#endif
