// STAND-IN, not Apple's header. Declares only the Security functions that the sources in
// platform/macos use, following Apple's documented declarations, so that those sources can be
// compiled for syntax and types on machines without the macOS SDK. Nothing is ever linked
// against it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

typedef int32_t OSStatus;
enum {
    errSecSuccess = 0
};

typedef const struct __SecRandom* SecRandomRef;
extern const SecRandomRef kSecRandomDefault;

int SecRandomCopyBytes(SecRandomRef _Nullable rnd, size_t count, void* _Nonnull bytes)
    __attribute__((warn_unused_result));

#if defined(__cplusplus)
}
#endif
