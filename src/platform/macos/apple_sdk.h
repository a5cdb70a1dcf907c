// The one place the macOS adapter reaches the Apple SDK. Every adapter file
// includes this header first.
//
// The syntax check that runs on every platform (scripts/check-macos-adapter.sh)
// injects a declarations-only stand-in for the SDK before this header; the
// stand-in defines CUH_APPLE_SDK_STANDIN and the real frameworks are then not
// included.
#pragma once

#if !defined(CUH_APPLE_SDK_STANDIN)
// AssertMacros.h would otherwise define check(), verify() and require() as
// macros, which collide with ordinary C++ names.
#define __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES 0
#import <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>
#endif

// The platform interface mirrors these two names as typed C++ declarations
// (platform/events.h, platform/window_server.h); the SDK spells them as
// macros, which would rewrite those declarations wherever the SDK comes first.
// The adapter uses the platform's spelling.
#undef CGEventMaskBit
#undef kCGNullWindowID

// dlsym: the adapter looks up CGEventSetWindowLocation at run time (see
// events.mm).
#include <dlfcn.h>
