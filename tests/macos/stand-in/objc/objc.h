// STAND-IN, not Apple's header. Declares only the Objective-C runtime types that the sources in
// platform/macos use, following Apple's documented declarations, so that those sources can be
// compiled for syntax and types on machines without the macOS SDK. Nothing is ever linked
// against it.
#pragma once

#if defined(__x86_64__)
typedef signed char BOOL;  // Intel Macs keep the historical signed char
#else
typedef bool BOOL;
#endif

#define YES ((BOOL)1)
#define NO ((BOOL)0)

#ifndef nil
#if defined(__cplusplus)
#define nil nullptr
#else
#define nil ((void*)0)
#endif
#endif

#define NS_DESIGNATED_INITIALIZER __attribute__((objc_designated_initializer))
#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
