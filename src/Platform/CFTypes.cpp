// Reference-counted property-list objects.
#include "Platform/CFTypes.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {
enum TypeID : CFTypeID { kString = 7, kNumber = 22, kData = 20, kArray = 19, kDictionary = 18 };
}

struct CFObject {
    explicit CFObject(CFTypeID t) : type(t) {}
    virtual ~CFObject() = default;
    // Gives up the references this object holds; each child that loses its
    // last one is put on `dead` for CFRelease to free in its loop.
    virtual void releaseChildren(CFObject*& /*dead*/) {}
    std::atomic<CFIndex> refs{1};
    const CFTypeID type;
    bool immortal = false;
    CFObject* nextDead = nullptr;
};

static const CFObject* obj(CFTypeRef p) { return static_cast<const CFObject*>(p); }

// Drops one reference; puts the object on `dead` when that was its last.
static void dropReference(CFTypeRef p, CFObject*& dead) {
    if (!p || obj(p)->immortal) return;
    auto* o = const_cast<CFObject*>(obj(p));
    if (o->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        o->nextDead = dead;
        dead = o;
    }
}

struct __CFString : CFObject {
    explicit __CFString(std::string s) : CFObject(kString), text(std::move(s)) {}
    std::string text;
};

struct __CFNumber : CFObject {
    __CFNumber(CFNumberType t) : CFObject(kNumber), numberType(t) {}
    CFNumberType numberType;
    SInt64 i = 0;
    Float64 f = 0;
};

struct __CFData : CFObject {
    __CFData() : CFObject(kData) {}
    std::vector<UInt8> bytes;
};

struct __CFArray : CFObject {
    __CFArray() : CFObject(kArray) {}
    void releaseChildren(CFObject*& dead) override {
        if (retains)
            for (auto v : values) dropReference(v, dead);
    }
    std::vector<const void*> values;
    bool retains = false;
};

struct __CFDictionary : CFObject {
    __CFDictionary() : CFObject(kDictionary) {}
    void releaseChildren(CFObject*& dead) override {
        for (auto& [k, v] : entries) {
            dropReference(k, dead);
            dropReference(v, dead);
        }
    }
    std::vector<std::pair<const void*, const void*>> entries;
};

const CFArrayCallBacks kCFTypeArrayCallBacks{0};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};

CFTypeRef CFRetain(CFTypeRef p) {
    if (p && !obj(p)->immortal) const_cast<CFObject*>(obj(p))->refs.fetch_add(1, std::memory_order_relaxed);
    return p;
}

// A loop over the objects that die, not a recursion through the containers,
// so that a value nested a million levels deep is freed on any thread's stack.
void CFRelease(CFTypeRef p) {
    CFObject* dead = nullptr;
    dropReference(p, dead);
    while (dead) {
        CFObject* o = dead;
        dead = o->nextDead;
        o->releaseChildren(dead);
        delete o;
    }
}

CFIndex CFGetRetainCount(CFTypeRef p) { return p ? obj(p)->refs.load() : 0; }
CFTypeID CFGetTypeID(CFTypeRef p) { return p ? obj(p)->type : 0; }
CFTypeID CFStringGetTypeID() { return kString; }
CFTypeID CFNumberGetTypeID() { return kNumber; }
CFTypeID CFDataGetTypeID() { return kData; }
CFTypeID CFArrayGetTypeID() { return kArray; }
CFTypeID CFDictionaryGetTypeID() { return kDictionary; }

// ---- strings

static std::string latin1ToUtf8(const char* s) {
    std::string out;
    for (; *s; ++s) {
        const unsigned char c = static_cast<unsigned char>(*s);
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// False when a character lies outside Latin-1 or the UTF-8 is malformed.
static bool utf8ToLatin1(const std::string& s, std::string* out) {
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            *out += char(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < s.size() && (UInt8(s[i + 1]) & 0xC0) == 0x80) {
            *out += char(((c & 0x03) << 6) | (UInt8(s[i + 1]) & 0x3F));
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* s, CFStringEncoding encoding) {
    if (!s) return nullptr;
    return new __CFString(encoding == kCFStringEncodingISOLatin1 ? latin1ToUtf8(s) : std::string(s));
}

Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex size, CFStringEncoding encoding) {
    if (!s || !buffer || size <= 0) return false;
    std::string text = s->text;
    if (encoding == kCFStringEncodingISOLatin1 && !utf8ToLatin1(s->text, &text)) {
        buffer[0] = 0;
        return false;
    }
    if (CFIndex(text.size()) >= size) {
        buffer[0] = 0;
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

const char* CFStringGetUTF8(CFStringRef s) { return s ? s->text.c_str() : ""; }
CFIndex CFStringGetLength(CFStringRef s) { return s ? CFIndex(s->text.size()) : 0; }
Boolean CFStringEqual(CFStringRef a, CFStringRef b) { return a && b && a->text == b->text; }

CFStringRef CFSTR_(const char* text) {
    static std::mutex lock;
    static auto* constants = new std::unordered_map<std::string, __CFString*>;
    std::lock_guard guard(lock);
    auto& s = (*constants)[text];
    if (!s) {
        s = new __CFString(text);
        s->immortal = true;
    }
    return s;
}

// ---- numbers

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* v) {
    if (!v) return nullptr;
    auto* n = new __CFNumber(type);
    switch (type) {
        case kCFNumberSInt32Type:
            n->i = *static_cast<const SInt32*>(v);
            n->f = Float64(n->i);
            break;
        case kCFNumberSInt64Type:
            n->i = *static_cast<const SInt64*>(v);
            n->f = Float64(n->i);
            break;
        case kCFNumberFloat32Type: n->f = *static_cast<const Float32*>(v); break;
        case kCFNumberFloat64Type: n->f = *static_cast<const Float64*>(v); break;
        default: delete n; return nullptr;
    }
    return n;
}

CFNumberType CFNumberGetType(CFNumberRef n) { return n ? n->numberType : 0; }
Boolean CFNumberIsFloatType(CFNumberRef n) {
    return n && (n->numberType == kCFNumberFloat32Type || n->numberType == kCFNumberFloat64Type);
}

Boolean CFNumberGetValue(CFNumberRef n, CFNumberType type, void* out) {
    if (!n || !out) return false;
    const bool isFloat = CFNumberIsFloatType(n);
    switch (type) {
        case kCFNumberSInt32Type: {
            SInt64 wide = n->i;
            bool exact = true;
            if (isFloat) {
                exact = std::isfinite(n->f) && n->f == std::trunc(n->f) && std::fabs(n->f) < 9.2e18;
                wide = exact ? SInt64(n->f) : 0;
            }
            if (wide < std::numeric_limits<SInt32>::min() || wide > std::numeric_limits<SInt32>::max()) {
                exact = false;
                wide = 0;
            }
            *static_cast<SInt32*>(out) = SInt32(wide);
            return exact;
        }
        case kCFNumberSInt64Type: {
            bool exact = !isFloat || (std::isfinite(n->f) && n->f == std::trunc(n->f) && std::fabs(n->f) < 9.2e18);
            *static_cast<SInt64*>(out) = isFloat ? (exact ? SInt64(n->f) : 0) : n->i;
            return exact;
        }
        case kCFNumberFloat32Type: *static_cast<Float32*>(out) = isFloat ? Float32(n->f) : Float32(n->i); return true;
        case kCFNumberFloat64Type: *static_cast<Float64*>(out) = isFloat ? n->f : Float64(n->i); return true;
        default: return false;
    }
}

// ---- data

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
    if (length < 0 || (length > 0 && !bytes)) return nullptr;
    auto* d = new __CFData;
    d->bytes.assign(bytes, bytes + length);
    return d;
}

CFIndex CFDataGetLength(CFDataRef d) { return d ? CFIndex(d->bytes.size()) : 0; }
const UInt8* CFDataGetBytePtr(CFDataRef d) { return d ? d->bytes.data() : nullptr; }

// ---- arrays

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count, const CFArrayCallBacks* callBacks) {
    if (count < 0 || (count > 0 && !values)) return nullptr;
    auto* a = new __CFArray;
    a->retains = callBacks != nullptr;
    a->values.assign(values, values + count);
    if (a->retains)
        for (auto v : a->values) CFRetain(v);
    return a;
}

CFIndex CFArrayGetCount(CFArrayRef a) { return a ? CFIndex(a->values.size()) : 0; }
const void* CFArrayGetValueAtIndex(CFArrayRef a, CFIndex i) {
    return a && i >= 0 && i < CFIndex(a->values.size()) ? a->values[size_t(i)] : nullptr;
}

// ---- dictionaries

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*) {
    return new __CFDictionary;
}

static bool sameKey(const void* a, const void* b) {
    if (a == b) return true;
    if (CFGetTypeID(a) != kString || CFGetTypeID(b) != kString) return false;
    return CFStringEqual(static_cast<CFStringRef>(a), static_cast<CFStringRef>(b));
}

void CFDictionarySetValue(CFMutableDictionaryRef d, const void* key, const void* value) {
    if (!d || !key || !value) return;
    CFRetain(value);
    for (auto& [k, v] : d->entries)
        if (sameKey(k, key)) {
            CFRelease(v);
            v = value;
            return;
        }
    d->entries.emplace_back(CFRetain(key), value);
}

const void* CFDictionaryGetValue(CFDictionaryRef d, const void* key) {
    if (!d || !key) return nullptr;
    for (auto& [k, v] : d->entries)
        if (sameKey(k, key)) return v;
    return nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef d) { return d ? CFIndex(d->entries.size()) : 0; }

void CFDictionaryGetKeysAndValues(CFDictionaryRef d, const void** keys, const void** values) {
    if (!d) return;
    for (size_t i = 0; i < d->entries.size(); ++i) {
        if (keys) keys[i] = d->entries[i].first;
        if (values) values[i] = d->entries[i].second;
    }
}
