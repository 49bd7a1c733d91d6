#pragma once
// ZENIVOR_UNDER_ASAN is 1 in a build with AddressSanitizer, whose shadow memory rules out tests
// that limit the address space.

#if defined(__SANITIZE_ADDRESS__)
#define ZENIVOR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZENIVOR_UNDER_ASAN 1
#endif
#endif
#ifndef ZENIVOR_UNDER_ASAN
#define ZENIVOR_UNDER_ASAN 0
#endif
