#include "MacSaverPlatform.h"

#import <AppKit/AppKit.h>
#import <CoreGraphics/CoreGraphics.h>
#import <Foundation/Foundation.h>
#import <Security/Security.h>

#include <cstdlib>
#include <random>

namespace duskmere {

// Owns one CGImage.
class MacSaverPlatform::Image final : public SaverImage {
public:
    explicit Image(CGImageRef image) : image_(image) {}
    ~Image() override { CGImageRelease(image_); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    CGImageRef cgImage() const { return image_; }

private:
    CGImageRef image_;
};

namespace {

// Both bundles may be loaded into one host process, each with its own copy of this code, so the
// pending exit is kept in the main thread's dictionary under a key that both use.
NSString* const pendingExitKey = @"org.duskmere.saver.pendingExit";

NSTimer* pendingExitTimer() { return [NSThread.mainThread.threadDictionary objectForKey:pendingExitKey]; }

}  // namespace

MacSaverPlatform::MacSaverPlatform(ScreenSaverView* view) : view_(view) {}

MacSaverPlatform::~MacSaverPlatform() { CGColorSpaceRelease(sRGB_); }

ViewSize MacSaverPlatform::bounds() const {
    const NSRect b = view_.bounds;
    return {b.size.width, b.size.height};
}

void MacSaverPlatform::setNeedsDisplay() { view_.needsDisplay = YES; }

void MacSaverPlatform::setAnimationInterval(double seconds) { view_.animationTimeInterval = seconds; }

void MacSaverPlatform::observeDistributedNotification(const std::string& name, std::function<void()> handler) {
    // A nil name would subscribe the view to every distributed notification.
    NSString* notificationName = [NSString stringWithUTF8String:name.c_str()];
    if (!notificationName) return;
    bool registered = false;
    for (const auto& observer : observers_) registered = registered || observer.first == name;
    observers_.emplace_back(name, std::move(handler));
    // One registration per name, or every notification would arrive once per handler.
    if (registered) return;
    // Delivered at once even while the host counts as inactive: with the default, a late
    // will-stop could arrive at the start of the next session and end it.
    [[NSDistributedNotificationCenter defaultCenter] addObserver:view_
                                                        selector:@selector(saverWillStop:)
                                                            name:notificationName
                                                          object:nil
                                              suspensionBehavior:NSNotificationSuspensionBehaviorDeliverImmediately];
}

void MacSaverPlatform::deliverNotification(NSNotification* notification) {
    const char* name = notification.name.UTF8String;
    if (!name) return;
    for (const auto& observer : observers_)
        if (observer.first == name) observer.second();
}

std::string MacSaverPlatform::processName() const {
    const char* name = NSProcessInfo.processInfo.processName.UTF8String;
    return name ? name : "";
}

void MacSaverPlatform::exitProcess(int status) { std::exit(status); }

void MacSaverPlatform::scheduleExit(double seconds, int status) {
    [pendingExitTimer() invalidate];
    NSTimer* timer = [NSTimer timerWithTimeInterval:seconds
                                            repeats:NO
                                              block:^(NSTimer* fired) {
                                                (void)fired;
                                                std::exit(status);
                                              }];
    [NSThread.mainThread.threadDictionary setObject:timer forKey:pendingExitKey];
    // Common modes: the exit must not wait for the run loop to leave a tracking mode.
    [NSRunLoop.mainRunLoop addTimer:timer forMode:NSRunLoopCommonModes];
}

bool MacSaverPlatform::exitScheduled() const {
    NSTimer* timer = pendingExitTimer();
    return timer && timer.valid;
}

void MacSaverPlatform::cancelScheduledExit() {
    [pendingExitTimer() invalidate];
    [NSThread.mainThread.threadDictionary removeObjectForKey:pendingExitKey];
}

void MacSaverPlatform::stopAnimation() {
    ScreenSaverView* view = view_;
    if (!view) return;
    // A start still owed to a host that never started the view must not bring it back now.
    [NSObject cancelPreviousPerformRequestsWithTarget:view selector:@selector(startAnimationIfHostDidNot) object:nil];
    if (view.isAnimating) [view stopAnimation];
}

uint64_t MacSaverPlatform::secureRandomSeed() {
    uint64_t seed = 0;
    if (SecRandomCopyBytes(kSecRandomDefault, sizeof seed, &seed) == errSecSuccess) return seed;
    // Not expected to fail; if it ever does, a fresh seed still beats the same animation every time.
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ static_cast<uint64_t>(device());
}

CGContextRef MacSaverPlatform::currentContext() { return NSGraphicsContext.currentContext.CGContext; }

bool MacSaverPlatform::hasGraphicsContext() { return currentContext() != nullptr; }

void MacSaverPlatform::setFillGray(double gray, double alpha) {
    CGColorRef color = CGColorCreateGenericGray(gray, alpha);
    CGContextSetFillColorWithColor(currentContext(), color);
    CGColorRelease(color);
}

void MacSaverPlatform::fillRect(const ViewRect& rect) {
    CGContextFillRect(currentContext(), CGRectMake(rect.x, rect.y, rect.width, rect.height));
}

void MacSaverPlatform::setInterpolationNone() {
    CGContextSetInterpolationQuality(currentContext(), kCGInterpolationNone);
}

std::unique_ptr<SaverImage> MacSaverPlatform::makeImage(const uint32_t* pixels, int64_t width, int64_t height) {
    const auto rowBytes = static_cast<size_t>(width) * 4;
    const auto byteCount = static_cast<CFIndex>(rowBytes * static_cast<size_t>(height));
    // The image keeps its own copy, so the scene may go on drawing into the canvas.
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(pixels), byteCount);
    if (!data) return nullptr;
    CGDataProviderRef provider = CGDataProviderCreateWithCFData(data);
    CFRelease(data);
    if (!provider) return nullptr;
    if (!sRGB_) sRGB_ = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
    if (!sRGB_) {
        CGDataProviderRelease(provider);
        return nullptr;
    }
    // Bitmap info 5: three 8-bit components and an ignored fourth byte, in memory order R, G, B, X.
    CGImageRef image = CGImageCreate(static_cast<size_t>(width), static_cast<size_t>(height), 8, 32, rowBytes, sRGB_,
                                     static_cast<CGBitmapInfo>(kCGImageAlphaNoneSkipLast), provider, nullptr, false,
                                     kCGRenderingIntentDefault);
    CGDataProviderRelease(provider);
    if (!image) return nullptr;
    return std::make_unique<Image>(image);
}

void MacSaverPlatform::drawImage(const SaverImage& image, const ViewRect& rect) {
    CGContextDrawImage(currentContext(), CGRectMake(rect.x, rect.y, rect.width, rect.height),
                       static_cast<const Image&>(image).cgImage());
}

}  // namespace duskmere
