// Reference-counted property-list objects: strings, numbers, data, arrays and
// dictionaries, with retain/release. A Create call returns one reference that
// the caller owns.
#pragma once
#include "Platform/MacTypes.h"

using CFTypeRef = const void*;
using CFIndex = long;
using CFTypeID = unsigned long;
using CFAllocatorRef = const void*;
struct __CFString;
struct __CFNumber;
struct __CFData;
struct __CFArray;
struct __CFDictionary;
using CFStringRef = const __CFString*;
using CFMutableStringRef = __CFString*;
using CFNumberRef = const __CFNumber*;
using CFDataRef = const __CFData*;
using CFArrayRef = const __CFArray*;
using CFDictionaryRef = const __CFDictionary*;
using CFMutableDictionaryRef = __CFDictionary*;
using CFPropertyListRef = CFTypeRef;

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

CFTypeRef CFRetain(CFTypeRef obj);
void CFRelease(CFTypeRef obj);
CFIndex CFGetRetainCount(CFTypeRef obj);
CFTypeID CFGetTypeID(CFTypeRef obj);
CFTypeID CFStringGetTypeID();
CFTypeID CFNumberGetTypeID();
CFTypeID CFDataGetTypeID();
CFTypeID CFArrayGetTypeID();
CFTypeID CFDictionaryGetTypeID();

// Strings hold their text as UTF-8; Latin-1 is converted on the way in and out.
using CFStringEncoding = UInt32;
enum : CFStringEncoding { kCFStringEncodingISOLatin1 = 0x0201, kCFStringEncodingUTF8 = 0x08000100 };
CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cString, CFStringEncoding encoding);
// Writes a zero-terminated copy; false (and an empty buffer) when it does not fit
// or a character has no code in the encoding.
Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
const char* CFStringGetUTF8(CFStringRef s);  // valid while s lives
CFIndex CFStringGetLength(CFStringRef s);    // in bytes of UTF-8
Boolean CFStringEqual(CFStringRef a, CFStringRef b);

using CFNumberType = CFIndex;
enum : CFNumberType {
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6
};
CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* valuePtr);
// Converts to the asked type; false when the value had to be changed to fit.
Boolean CFNumberGetValue(CFNumberRef n, CFNumberType type, void* valuePtr);
CFNumberType CFNumberGetType(CFNumberRef n);
Boolean CFNumberIsFloatType(CFNumberRef n);

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length);
CFIndex CFDataGetLength(CFDataRef d);
const UInt8* CFDataGetBytePtr(CFDataRef d);

// Callbacks: null means the array stores plain pointers (no retain/release).
struct CFArrayCallBacks {
    int version;
};
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count, const CFArrayCallBacks* callBacks);
CFIndex CFArrayGetCount(CFArrayRef a);
const void* CFArrayGetValueAtIndex(CFArrayRef a, CFIndex i);

// Dictionaries always retain their keys and values; keys are strings.
struct CFDictionaryKeyCallBacks {
    int version;
};
struct CFDictionaryValueCallBacks {
    int version;
};
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity, const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*);
void CFDictionarySetValue(CFMutableDictionaryRef d, const void* key, const void* value);
const void* CFDictionaryGetValue(CFDictionaryRef d, const void* key);
CFIndex CFDictionaryGetCount(CFDictionaryRef d);
// Keys and values in insertion order; either array may be null.
void CFDictionaryGetKeysAndValues(CFDictionaryRef d, const void** keys, const void** values);

// A constant string that is never freed (retain and release do nothing).
CFStringRef CFSTR_(const char* text);
#define CFSTR(text) CFSTR_("" text)
