// Declarations of Apple's SDK that GNUstep's headers lack, for the backend's
// type-check on Linux only; never part of a build. Each mirrors the Apple
// header named above it, with Apple's types and selectors; availability and
// export macros are left out. Only what the backend calls is declared.

#pragma once

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#include <spawn.h>
#include <sys/types.h>

NS_ASSUME_NONNULL_BEGIN

// ---- C library ------------------------------------------------------------

// stdio.h
#define RENAME_SWAP 0x00000002
// stdio.h
#define RENAME_EXCL 0x00000004
// stdio.h
extern "C" int renamex_np(const char*, const char*, unsigned int);
// stdio.h
#define RENAME_EXCL 0x00000004
// stdio.h
extern "C" int renameatx_np(int, const char*, int, const char*, unsigned int);
// sys/fcntl.h
#define F_FULLFSYNC 51
// sys/fcntl.h
#define F_BARRIERFSYNC 85
// sys/spawn.h
#define POSIX_SPAWN_CLOEXEC_DEFAULT 0x4000
// spawn.h
extern "C" int posix_spawn_file_actions_addinherit_np(posix_spawn_file_actions_t*, int);

// ---- CommonCrypto ---------------------------------------------------------

// CommonCrypto/CommonDigest.h
typedef uint32_t CC_LONG;
// CommonCrypto/CommonDigest.h
typedef struct CC_SHA256state_st {
  CC_LONG count[2];
  CC_LONG hash[8];
  CC_LONG wbuf[16];
} CC_SHA256_CTX;
// CommonCrypto/CommonDigest.h
extern "C" int CC_SHA256_Init(CC_SHA256_CTX* c);
// CommonCrypto/CommonDigest.h
extern "C" int CC_SHA256_Update(CC_SHA256_CTX* c, const void* data, CC_LONG len);
// CommonCrypto/CommonDigest.h
extern "C" int CC_SHA256_Final(unsigned char* md, CC_SHA256_CTX* c);

// sys/errno.h
#define ENOATTR 93
// sys/xattr.h (the Linux header of that name declares other signatures;
// Apple's has no nullability, so a null value, which asks for the size, is allowed)
#define XATTR_NOFOLLOW 0x0001
// sys/xattr.h
extern "C" ssize_t getxattr(const char* path, const char* name, void* _Null_unspecified value,
                            size_t size, u_int32_t position, int options);
// sys/xattr.h
extern "C" int setxattr(const char* path, const char* name, const void* _Null_unspecified value,
                        size_t size, u_int32_t position, int options);
// sys/xattr.h
extern "C" int removexattr(const char* path, const char* name, int options);

// ---- Foundation -----------------------------------------------------------

// Foundation/NSURL.h
typedef NSString* NSURLResourceKey;
// Foundation/NSURL.h
extern "C" NSURLResourceKey const NSURLVolumeAvailableCapacityForImportantUsageKey;
// Foundation/NSURL.h
extern "C" NSURLResourceKey const NSURLVolumeSupportsSwapRenamingKey;

// ---- CoreFoundation -------------------------------------------------------

// MacTypes.h
typedef unsigned char Boolean;
// CoreFoundation/CFBase.h
typedef unsigned long CFTypeID;
// CoreFoundation/CFBase.h
typedef const void* CFTypeRef;
// CoreFoundation/CFBase.h
typedef const struct __attribute__((objc_bridge(NSString))) __CFString* CFStringRef;
// CoreFoundation/CFBase.h
typedef CFTypeRef CFPropertyListRef;
// CoreFoundation/CFBase.h
extern "C" CFTypeID CFGetTypeID(CFTypeRef cf);

// CoreFoundation/CFURL.h
typedef const struct __attribute__((objc_bridge(NSURL))) __CFURL* CFURLRef;
// CoreFoundation/CFDictionary.h
typedef const struct __attribute__((objc_bridge(NSDictionary))) __CFDictionary* CFDictionaryRef;
// CoreFoundation/CFError.h
typedef struct __attribute__((objc_bridge(NSError))) __CFError* CFErrorRef;

// CoreFoundation/CFNumber.h
typedef const struct __attribute__((objc_bridge(NSNumber))) __CFBoolean* CFBooleanRef;
// CoreFoundation/CFNumber.h
typedef const struct __attribute__((objc_bridge(NSNumber))) __CFNumber* CFNumberRef;
// CoreFoundation/CFNumber.h
extern "C" const CFBooleanRef kCFBooleanTrue;
// CoreFoundation/CFNumber.h
extern "C" const CFBooleanRef kCFBooleanFalse;
// CoreFoundation/CFNumber.h
extern "C" CFTypeID CFBooleanGetTypeID(void);
// CoreFoundation/CFNumber.h
extern "C" Boolean CFNumberIsFloatType(CFNumberRef number);

// CoreFoundation/CFPreferences.h
extern "C" const CFStringRef kCFPreferencesAnyHost;
// CoreFoundation/CFPreferences.h
extern "C" const CFStringRef kCFPreferencesCurrentUser;
// CoreFoundation/CFPreferences.h
extern "C" _Nullable CFPropertyListRef CFPreferencesCopyValue(CFStringRef key,
                                                              CFStringRef applicationID,
                                                              CFStringRef userName,
                                                              CFStringRef hostName);
// CoreFoundation/CFPreferences.h
extern "C" void CFPreferencesSetValue(CFStringRef key, _Nullable CFPropertyListRef value,
                                      CFStringRef applicationID, CFStringRef userName,
                                      CFStringRef hostName);
// CoreFoundation/CFPreferences.h
extern "C" Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName,
                                            CFStringRef hostName);

// Foundation/NSObject.h (an inline function there)
id _Nullable CFBridgingRelease(CFTypeRef _Nullable X);

// ---- libdispatch (Objective-C object types, as with ARC) -------------------

// dispatch/object.h
@protocol OS_dispatch_object <NSObject>
@end
// dispatch/object.h
typedef void (^dispatch_block_t)(void);
// dispatch/queue.h
@protocol OS_dispatch_queue <OS_dispatch_object>
@end
typedef NSObject<OS_dispatch_queue>* dispatch_queue_t;
// dispatch/queue.h
@protocol OS_dispatch_queue_serial <OS_dispatch_queue>
@end
// dispatch/queue.h
@protocol OS_dispatch_queue_main <OS_dispatch_queue_serial>
@end
typedef NSObject<OS_dispatch_queue_main>* dispatch_queue_main_t;
// dispatch/queue.h (an inline function there)
extern "C" dispatch_queue_main_t dispatch_get_main_queue(void);
// dispatch/queue.h
extern "C" void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);

// ---- Foundation -----------------------------------------------------------

// Foundation/NSFileManager.h
@interface NSFileManager (AppleSDK)
- (NSArray<NSURL*>*)URLsForDirectory:(NSSearchPathDirectory)directory
                           inDomains:(NSSearchPathDomainMask)domainMask;
- (BOOL)trashItemAtURL:(NSURL*)url
      resultingItemURL:(NSURL* _Nullable* _Nullable)outResultingURL
                 error:(NSError**)error;
@end

// ---- AppKit ---------------------------------------------------------------

// AppKit/NSAlert.h (Apple declares NSAlertStyle itself as this enumeration;
// GNUstep's NSAlertStyle is NSUInteger with the older constant names)
enum : NSUInteger {
  NSAlertStyleWarning = 0,
  NSAlertStyleInformational = 1,
  NSAlertStyleCritical = 2,
};

// AppKit/NSApplication.h
@interface NSApplication (AppleSDK)
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
@end

// AppKit/NSAlert.h
@interface NSAlert (AppleSDK)
- (void)layout;
@end

// AppKit/NSWorkspace.h
@interface NSWorkspaceOpenConfiguration : NSObject <NSCopying>
+ (instancetype)configuration;
@property BOOL createsNewApplicationInstance;
@property(copy) NSDictionary<NSString*, NSString*>* environment;
@end

// AppKit/NSWorkspace.h
@interface NSWorkspace (AppleSDK)
- (void)openApplicationAtURL:(NSURL*)applicationURL
               configuration:(NSWorkspaceOpenConfiguration*)configuration
           completionHandler:
               (void (^_Nullable)(NSRunningApplication* _Nullable app,
                                  NSError* _Nullable error))completionHandler;
- (NSArray<NSURL*>*)URLsForApplicationsWithBundleIdentifier:(NSString*)bundleIdentifier;
@end

NS_ASSUME_NONNULL_END
