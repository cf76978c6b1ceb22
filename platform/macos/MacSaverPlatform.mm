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

MacSaverPlatform::MacSaverPlatform(ScreenSaverView* view) : view_(view) {}

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
    [[NSDistributedNotificationCenter defaultCenter] addObserver:view_
                                                        selector:@selector(saverWillStop:)
                                                            name:notificationName
                                                          object:nil];
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
    CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
    if (!space) {
        CGDataProviderRelease(provider);
        return nullptr;
    }
    // Bitmap info 5: three 8-bit components and an ignored fourth byte, in memory order R, G, B, X.
    CGImageRef image = CGImageCreate(static_cast<size_t>(width), static_cast<size_t>(height), 8, 32, rowBytes, space,
                                     static_cast<CGBitmapInfo>(kCGImageAlphaNoneSkipLast), provider, nullptr, false,
                                     kCGRenderingIntentDefault);
    CGColorSpaceRelease(space);
    CGDataProviderRelease(provider);
    if (!image) return nullptr;
    return std::make_unique<Image>(image);
}

void MacSaverPlatform::drawImage(const SaverImage& image, const ViewRect& rect) {
    CGContextDrawImage(currentContext(), CGRectMake(rect.x, rect.y, rect.width, rect.height),
                       static_cast<const Image&>(image).cgImage());
}

}  // namespace duskmere
