// STAND-IN, not Apple's header. Declares only the CoreFoundation types and functions that the
// sources in platform/macos use, following Apple's documented declarations, so that those sources
// can be compiled for syntax and types on machines without the macOS SDK. Nothing is ever linked
// against it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

#pragma clang assume_nonnull begin

typedef unsigned char UInt8;
typedef int32_t SInt32;
typedef long CFIndex;
typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFData* CFDataRef;

extern const CFAllocatorRef kCFAllocatorDefault;

void CFRelease(CFTypeRef cf);
CFDataRef _Nullable CFDataCreate(CFAllocatorRef _Nullable allocator, const UInt8* _Nullable bytes, CFIndex length);

#pragma clang assume_nonnull end

#if defined(__cplusplus)
}
#endif
