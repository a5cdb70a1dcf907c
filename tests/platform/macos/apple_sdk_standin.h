// A declarations-only stand-in for the parts of the Apple SDK that the macOS
// adapter uses (CoreFoundation, CoreGraphics, HIServices accessibility,
// Foundation, AppKit, libdispatch), written from Apple's public documentation.
// scripts/check-macos-adapter.sh injects it with -include so that every .mm
// file of src/platform/macos/ can be syntax-checked on any host, without the
// SDK. Nothing here is ever linked.
//
// Types keep the SDK's shape where it matters to the compiler: typed enums
// for the CF_ENUM / NS_ENUM types (so an unconverted integer is an error),
// const-ness of the CF reference types, the MacTypes.h globals Point, Rect,
// Size and Boolean (so an unqualified platform name resolves to them and
// fails), and the two SDK macros the platform interface also spells.
#pragma once
// Like the real framework headers, a system header: its own style draws no
// warnings; the adapter's use of it does.
#pragma clang system_header

#define CUH_APPLE_SDK_STANDIN 1

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

// ---- MacTypes.h ----
typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef uint16_t UInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef long Size;
struct Point {
  short v;
  short h;
};
struct Rect {
  short top;
  short left;
  short bottom;
  short right;
};

extern "C" {

// ---- CoreFoundation ----
typedef const void* CFTypeRef;
typedef unsigned long CFTypeID;
typedef long CFIndex;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFAttributedString* CFAttributedStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFBoolean* CFBooleanRef;
typedef const struct __CFArray* CFArrayRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFMachPort* CFMachPortRef;
typedef struct __CFRunLoop* CFRunLoopRef;
typedef struct __CFRunLoopSource* CFRunLoopSourceRef;
typedef CFStringRef CFRunLoopMode;
typedef UInt32 CFStringEncoding;

struct CFRange {
  CFIndex location;
  CFIndex length;
};
typedef struct CFRange CFRange;
CFRange CFRangeMake(CFIndex loc, CFIndex len);

enum : CFStringEncoding { kCFStringEncodingUTF8 = 0x08000100 };
typedef enum : CFIndex {
  kCFNumberSInt64Type = 4,
  kCFNumberDoubleType = 13,
} CFNumberType;

typedef struct {
  CFIndex version;
} CFArrayCallBacks;
typedef struct {
  CFIndex version;
} CFDictionaryKeyCallBacks;
typedef struct {
  CFIndex version;
} CFDictionaryValueCallBacks;

extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
extern const CFRunLoopMode kCFRunLoopCommonModes;

CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CFTypeID CFGetTypeID(CFTypeRef cf);
CFStringRef CFCopyDescription(CFTypeRef cf);

CFTypeID CFStringGetTypeID(void);
CFIndex CFStringGetLength(CFStringRef theString);
CFIndex CFStringGetBytes(CFStringRef theString,
                         CFRange range,
                         CFStringEncoding encoding,
                         UInt8 lossByte,
                         Boolean isExternalRepresentation,
                         UInt8* buffer,
                         CFIndex maxBufLen,
                         CFIndex* usedBufLen);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc,
                                    const UInt8* bytes,
                                    CFIndex numBytes,
                                    CFStringEncoding encoding,
                                    Boolean isExternalRepresentation);

CFTypeID CFAttributedStringGetTypeID(void);
CFStringRef CFAttributedStringGetString(CFAttributedStringRef aStr);
CFAttributedStringRef CFAttributedStringCreate(CFAllocatorRef alloc,
                                               CFStringRef str,
                                               CFDictionaryRef attributes);

CFTypeID CFNumberGetTypeID(void);
Boolean CFNumberIsFloatType(CFNumberRef number);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void* valuePtr);

CFTypeID CFBooleanGetTypeID(void);
Boolean CFBooleanGetValue(CFBooleanRef boolean);

CFTypeID CFArrayGetTypeID(void);
CFIndex CFArrayGetCount(CFArrayRef theArray);
const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);
CFArrayRef CFArrayCreate(CFAllocatorRef allocator,
                         const void** values,
                         CFIndex numValues,
                         const CFArrayCallBacks* callBacks);

CFTypeID CFDictionaryGetTypeID(void);
CFIndex CFDictionaryGetCount(CFDictionaryRef theDict);
void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values);
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator,
                                   const void** keys,
                                   const void** values,
                                   CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);

CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef allocator,
                                                 CFMachPortRef port,
                                                 CFIndex order);
Boolean CFMachPortIsValid(CFMachPortRef port);
void CFMachPortInvalidate(CFMachPortRef port);
CFRunLoopRef CFRunLoopGetMain(void);
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode);
void CFRunLoopRemoveSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode);

// The main loop: blocks performed on the run loop, run-loop timers, nested
// runs (CFRunLoop.h, CFDate.h).
typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;
typedef unsigned long CFOptionFlags;
typedef struct __CFRunLoopTimer* CFRunLoopTimerRef;
typedef enum : SInt32 {
  kCFRunLoopRunFinished = 1,
  kCFRunLoopRunStopped = 2,
  kCFRunLoopRunTimedOut = 3,
  kCFRunLoopRunHandledSource = 4,
} CFRunLoopRunResult;
extern const CFRunLoopMode kCFRunLoopDefaultMode;
CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);
void CFRunLoopPerformBlock(CFRunLoopRef rl, CFTypeRef mode, void (^block)(void));
void CFRunLoopWakeUp(CFRunLoopRef rl);
CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode,
                                      CFTimeInterval seconds,
                                      Boolean returnAfterSourceHandled);
CFRunLoopTimerRef CFRunLoopTimerCreateWithHandler(CFAllocatorRef allocator,
                                                  CFAbsoluteTime fireDate,
                                                  CFTimeInterval interval,
                                                  CFOptionFlags flags,
                                                  CFIndex order,
                                                  void (^block)(CFRunLoopTimerRef timer));
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFRunLoopMode mode);
void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer);
void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate);

// ---- CoreGraphics ----
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
CGPoint CGPointMake(CGFloat x, CGFloat y);
CGSize CGSizeMake(CGFloat width, CGFloat height);

typedef uint32_t CGWindowID;
typedef enum : uint32_t {
  kCGWindowListOptionAll = 0,
  kCGWindowListOptionOnScreenOnly = 1 << 0,
  kCGWindowListOptionOnScreenAboveWindow = 1 << 1,
  kCGWindowListOptionOnScreenBelowWindow = 1 << 2,
  kCGWindowListOptionIncludingWindow = 1 << 3,
  kCGWindowListExcludeDesktopElements = 1 << 4,
} CGWindowListOption;
#define kCGNullWindowID ((CGWindowID)0)
extern const CFStringRef kCGWindowNumber;
extern const CFStringRef kCGWindowOwnerPID;
extern const CFStringRef kCGWindowBounds;
CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow);

typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventSource* CGEventSourceRef;
typedef struct __CGEventTapProxy* CGEventTapProxy;
typedef uint16_t CGKeyCode;
typedef uint64_t CGEventMask;
#define CGEventMaskBit(eventType) ((CGEventMask)1 << (eventType))

typedef enum : uint32_t {
  kCGEventNull = 0,
  kCGEventLeftMouseDown = 1,
  kCGEventLeftMouseUp = 2,
  kCGEventRightMouseDown = 3,
  kCGEventRightMouseUp = 4,
  kCGEventMouseMoved = 5,
  kCGEventLeftMouseDragged = 6,
  kCGEventKeyDown = 10,
  kCGEventKeyUp = 11,
  kCGEventFlagsChanged = 12,
  kCGEventScrollWheel = 22,
  kCGEventOtherMouseDown = 25,
  kCGEventTapDisabledByTimeout = 0xFFFFFFFE,
  kCGEventTapDisabledByUserInput = 0xFFFFFFFF,
} CGEventType;
typedef enum : uint32_t {
  kCGMouseEventNumber = 0,
  kCGMouseEventClickState = 1,
  kCGMouseEventButtonNumber = 3,
  kCGMouseEventSubtype = 7,
  kCGEventTargetUnixProcessID = 40,
  kCGEventSourceUnixProcessID = 41,
  kCGEventSourceUserData = 42,
  kCGMouseEventWindowUnderMousePointer = 91,
  kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent = 92,
} CGEventField;
typedef enum : uint64_t {
  kCGEventFlagMaskShift = 0x00020000,
  kCGEventFlagMaskControl = 0x00040000,
  kCGEventFlagMaskAlternate = 0x00080000,
  kCGEventFlagMaskCommand = 0x00100000,
  kCGEventFlagMaskSecondaryFn = 0x00800000,
} CGEventFlags;
typedef enum : uint32_t { kCGMouseButtonLeft = 0, kCGMouseButtonRight = 1 } CGMouseButton;
typedef enum : uint32_t {
  kCGScrollEventUnitPixel = 0,
  kCGScrollEventUnitLine = 1
} CGScrollEventUnit;
typedef enum : int32_t {
  kCGEventSourceStatePrivate = -1,
  kCGEventSourceStateCombinedSessionState = 0,
  kCGEventSourceStateHIDSystemState = 1,
} CGEventSourceStateID;
typedef enum : uint32_t {
  kCGHeadInsertEventTap = 0,
  kCGTailAppendEventTap = 1
} CGEventTapPlacement;
typedef enum : uint32_t {
  kCGEventTapOptionDefault = 0,
  kCGEventTapOptionListenOnly = 1
} CGEventTapOptions;
typedef CGEventRef (*CGEventTapCallBack)(CGEventTapProxy proxy,
                                         CGEventType type,
                                         CGEventRef event,
                                         void* userInfo);

CGEventRef CGEventCreate(CGEventSourceRef source);
CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID);
CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source,
                                   CGEventType mouseType,
                                   CGPoint mouseCursorPosition,
                                   CGMouseButton mouseButton);
CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey, bool keyDown);
CGEventRef CGEventCreateScrollWheelEvent2(CGEventSourceRef source,
                                          CGScrollEventUnit units,
                                          uint32_t wheelCount,
                                          int32_t wheel1,
                                          int32_t wheel2,
                                          int32_t wheel3);
CGEventType CGEventGetType(CGEventRef event);
void CGEventSetType(CGEventRef event, CGEventType type);
int64_t CGEventGetIntegerValueField(CGEventRef event, CGEventField field);
void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, int64_t value);
void CGEventSetLocation(CGEventRef event, CGPoint location);
void CGEventSetFlags(CGEventRef event, CGEventFlags flags);
void CGEventPostToPid(pid_t pid, CGEventRef event);
CFMachPortRef CGEventTapCreateForPid(pid_t pid,
                                     CGEventTapPlacement place,
                                     CGEventTapOptions options,
                                     CGEventMask eventsOfInterest,
                                     CGEventTapCallBack callback,
                                     void* userInfo);
void CGEventTapEnable(CFMachPortRef tap, bool enable);
bool CGEventTapIsEnabled(CFMachPortRef tap);
// CGEventSetWindowLocation is deliberately absent: the SDK does not declare
// it, and the adapter looks it up at run time.

// ---- HIServices accessibility ----
typedef const struct __AXUIElement* AXUIElementRef;
typedef const struct __AXValue* AXValueRef;
typedef int32_t AXError;
enum {
  kAXErrorSuccess = 0,
  kAXErrorFailure = -25200,
  kAXErrorIllegalArgument = -25201,
  kAXErrorInvalidUIElement = -25202,
  kAXErrorCannotComplete = -25204,
  kAXErrorAttributeUnsupported = -25205,
  kAXErrorActionUnsupported = -25206,
  kAXErrorNotImplemented = -25208,
  kAXErrorAPIDisabled = -25211,
  kAXErrorNoValue = -25212,
};
typedef enum : uint32_t {
  kAXValueTypeCGPoint = 1,
  kAXValueTypeCGSize = 2,
  kAXValueTypeCGRect = 3,
  kAXValueTypeCFRange = 4,
  kAXValueTypeAXError = 5,
  kAXValueTypeIllegal = 0,
} AXValueType;

extern const CFStringRef kAXTrustedCheckOptionPrompt;
Boolean AXIsProcessTrusted(void);
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);
CFTypeID AXUIElementGetTypeID(void);
AXUIElementRef AXUIElementCreateApplication(pid_t pid);
AXUIElementRef AXUIElementCreateSystemWide(void);
AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds);
AXError AXUIElementGetPid(AXUIElementRef element, pid_t* pid);
AXError AXUIElementCopyAttributeValue(AXUIElementRef element,
                                      CFStringRef attribute,
                                      CFTypeRef* value);
AXError AXUIElementIsAttributeSettable(AXUIElementRef element,
                                       CFStringRef attribute,
                                       Boolean* settable);
AXError AXUIElementSetAttributeValue(AXUIElementRef element,
                                     CFStringRef attribute,
                                     CFTypeRef value);
AXError AXUIElementCopyActionNames(AXUIElementRef element, CFArrayRef* names);
AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action);
AXError AXUIElementCopyElementAtPosition(AXUIElementRef application,
                                         float x,
                                         float y,
                                         AXUIElementRef* element);
CFTypeID AXValueGetTypeID(void);
AXValueRef AXValueCreate(AXValueType theType, const void* valuePtr);
AXValueType AXValueGetType(AXValueRef value);
Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr);

// The batched read, and the CFNull its slots may hold. In C++ the SDK's
// CF_OPTIONS makes the options type a plain UInt32 with an enum of constants.
typedef UInt32 AXCopyMultipleAttributeOptions;
enum : AXCopyMultipleAttributeOptions {
  kAXCopyMultipleAttributeOptionStopOnError = 0x1,
};
AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element,
                                               CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CFArrayRef* values);
typedef const struct __CFNull* CFNullRef;
extern const CFNullRef kCFNull;
CFTypeID CFNullGetTypeID(void);

// ---- libdispatch ----
typedef struct dispatch_queue_s* dispatch_queue_t;
typedef void (^dispatch_block_t)(void);
dispatch_queue_t dispatch_get_main_queue(void);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);

}  // extern "C"

// ---- Foundation ----
// The Objective-C interfaces below are implicitly non-null, as in the SDK;
// what may be nil says so.
#pragma clang assume_nonnull begin
typedef signed char BOOL;
#define YES __objc_yes
#define NO __objc_no
#define nil nullptr
typedef long NSInteger;
typedef unsigned long NSUInteger;
typedef double NSTimeInterval;
typedef CGPoint NSPoint;
typedef CGSize NSSize;
typedef CGRect NSRect;
typedef NSUInteger NSStringEncoding;
enum : NSStringEncoding { NSUTF8StringEncoding = 4 };
extern "C" {
NSPoint NSMakePoint(CGFloat x, CGFloat y);
NSSize NSMakeSize(CGFloat w, CGFloat h);
NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h);
extern const NSRect NSZeroRect;
}

@protocol NSObject
- (BOOL)isEqual:(id)object;
@end

__attribute__((objc_root_class))
@interface NSObject<NSObject> {
  Class isa;
}
+ (instancetype)alloc;
+ (instancetype)new;
- (instancetype)init;
- (BOOL)isEqual:(id)object;
@end

@interface NSString : NSObject
- (nullable instancetype)initWithBytes:(const void*)bytes
                                length:(NSUInteger)len
                              encoding:(NSStringEncoding)encoding;
@property(nullable, readonly) const char* UTF8String;
@end

@interface NSConstantString : NSString
@end

@interface NSArray<__covariant ObjectType> : NSObject
@property(readonly) NSUInteger count;
- (ObjectType)objectAtIndex:(NSUInteger)index;
@end

@interface NSURL : NSObject
+ (NSURL*)fileURLWithPath:(NSString*)path;
@property(nullable, readonly, copy) NSString* path;
@end

@interface NSError : NSObject
@property(readonly, copy) NSString* localizedDescription;
@end

@interface NSException : NSObject
@end

@interface NSNotification : NSObject
@end

@interface NSDate : NSObject
+ (instancetype)date;
@property(readonly) NSTimeInterval timeIntervalSince1970;
- (BOOL)isEqualToDate:(NSDate*)otherDate;
@end

@interface NSThread : NSObject
@property(class, readonly) BOOL isMainThread;
@end

@interface NSProcessInfo : NSObject
@property(class, readonly, strong) NSProcessInfo* processInfo;
@property(readonly) NSTimeInterval systemUptime;
@end

typedef unsigned char uuid_t[16];  // <uuid/uuid.h>
@interface NSUUID : NSObject
+ (instancetype)UUID;
@property(readonly, copy) NSString* UUIDString;
- (void)getUUIDBytes:(uuid_t)uuid;
@end

// ---- AppKit ----
typedef enum : NSInteger {
  NSApplicationActivationPolicyRegular = 0,
  NSApplicationActivationPolicyAccessory = 1,
  NSApplicationActivationPolicyProhibited = 2,
} NSApplicationActivationPolicy;

typedef enum : NSUInteger {
  NSEventTypeLeftMouseDown = 1,
  NSEventTypeAppKitDefined = 13,
} NSEventType;
typedef enum : NSUInteger {
  NSEventModifierFlagShift = 1 << 17,
} NSEventModifierFlags;
typedef enum : short {
  NSEventSubtypeWindowExposed = 0,
  NSEventSubtypeApplicationActivated = 1,
  NSEventSubtypeApplicationDeactivated = 2,
  NSEventSubtypeTouch = 3,
} NSEventSubtype;
typedef enum : NSUInteger {
  NSCompositingOperationClear = 0,
  NSCompositingOperationCopy = 1,
} NSCompositingOperation;

typedef NSString* NSColorSpaceName;
extern "C" const NSColorSpaceName NSDeviceRGBColorSpace;

@class NSGraphicsContext;

@interface NSEvent : NSObject
+ (nullable NSEvent*)otherEventWithType:(NSEventType)type
                               location:(NSPoint)location
                          modifierFlags:(NSEventModifierFlags)flags
                              timestamp:(NSTimeInterval)time
                           windowNumber:(NSInteger)wNum
                                context:(nullable NSGraphicsContext*)unusedPassNil
                                subtype:(short)subtype
                                  data1:(NSInteger)d1
                                  data2:(NSInteger)d2;
+ (nullable NSEvent*)mouseEventWithType:(NSEventType)type
                               location:(NSPoint)location
                          modifierFlags:(NSEventModifierFlags)flags
                              timestamp:(NSTimeInterval)time
                           windowNumber:(NSInteger)wNum
                                context:(nullable NSGraphicsContext*)unusedPassNil
                            eventNumber:(NSInteger)eNum
                             clickCount:(NSInteger)cNum
                               pressure:(float)pressure;
+ (nullable NSEvent*)eventWithCGEvent:(CGEventRef)cgEvent;
@property(nullable, readonly) CGEventRef CGEvent;
@property(readonly) NSInteger windowNumber;
@property(readonly) NSEventSubtype subtype;
@property(readonly) NSEventModifierFlags modifierFlags;
@end

@interface NSImageRep : NSObject
@property NSSize size;
@end

@interface NSBitmapImageRep : NSImageRep
- (nullable instancetype)initWithBitmapDataPlanes:(unsigned char* _Nullable* _Nullable)planes
                                       pixelsWide:(NSInteger)width
                                       pixelsHigh:(NSInteger)height
                                    bitsPerSample:(NSInteger)bps
                                  samplesPerPixel:(NSInteger)spp
                                         hasAlpha:(BOOL)alpha
                                         isPlanar:(BOOL)isPlanar
                                   colorSpaceName:(NSColorSpaceName)colorSpaceName
                                      bytesPerRow:(NSInteger)rBytes
                                     bitsPerPixel:(NSInteger)pBits;
@property(nullable, readonly) unsigned char* bitmapData;
@property(readonly) NSInteger bytesPerRow;
@end

@interface NSGraphicsContext : NSObject
+ (nullable NSGraphicsContext*)graphicsContextWithBitmapImageRep:(NSBitmapImageRep*)bitmapRep;
@property(class, nullable, strong) NSGraphicsContext* currentContext;
+ (void)saveGraphicsState;
+ (void)restoreGraphicsState;
@end

@interface NSImage : NSObject
- (void)drawInRect:(NSRect)rect
          fromRect:(NSRect)fromRect
         operation:(NSCompositingOperation)op
          fraction:(CGFloat)delta;
@end

@interface NSRunningApplication : NSObject
+ (nullable instancetype)runningApplicationWithProcessIdentifier:(pid_t)pid;
@property(readonly, getter=isTerminated) BOOL terminated;
@property(readonly, getter=isFinishedLaunching) BOOL finishedLaunching;
@property(readonly, getter=isActive) BOOL active;
@property(readonly) NSApplicationActivationPolicy activationPolicy;
@property(nullable, readonly, copy) NSString* localizedName;
@property(nullable, readonly, copy) NSString* bundleIdentifier;
@property(nullable, readonly, copy) NSURL* bundleURL;
@property(readonly) pid_t processIdentifier;
@property(nullable, readonly, copy) NSDate* launchDate;
@end

@interface NSWorkspaceOpenConfiguration : NSObject
+ (instancetype)configuration;
@property BOOL activates;
@property BOOL addsToRecentItems;
@end

@interface NSWorkspace : NSObject
@property(class, readonly, strong) NSWorkspace* sharedWorkspace;
@property(nullable, readonly, strong) NSRunningApplication* frontmostApplication;
@property(readonly, copy) NSArray<NSRunningApplication*>* runningApplications;
- (nullable NSURL*)URLForApplicationWithBundleIdentifier:(NSString*)bundleIdentifier;
- (nullable NSString*)fullPathForApplication:(NSString*)appName
    __attribute__((deprecated("Use -URLForApplicationWithBundleIdentifier: instead")));
- (void)openApplicationAtURL:(NSURL*)applicationURL
               configuration:(NSWorkspaceOpenConfiguration*)configuration
           completionHandler:(void (^_Nullable)(NSRunningApplication* _Nullable app,
                                                NSError* _Nullable error))completionHandler;
- (NSImage*)iconForFile:(NSString*)fullPath;
@end

@protocol NSApplicationDelegate <NSObject>
@optional
- (void)applicationDidFinishLaunching:(NSNotification*)notification;
- (void)applicationWillTerminate:(NSNotification*)notification;
@end

@interface NSApplication : NSObject
+ (NSApplication*)sharedApplication;
@property(nullable, weak) id<NSApplicationDelegate> delegate;
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
- (void)run;
- (void)terminate:(nullable id)sender;
@end

#pragma clang assume_nonnull end
