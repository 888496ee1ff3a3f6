#pragma once

// TESSARON_ADDRESS_SANITIZER is defined where AddressSanitizer instruments the build: it brings its own
// allocator and wraps thread creation, so code that takes those over stands back.
#if defined(__SANITIZE_ADDRESS__)
#define TESSARON_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARON_ADDRESS_SANITIZER 1
#endif
#endif
