// The state's tagged encoding, both ways.
#include "StateCodec.h"

#include <cstring>
#include <string>

namespace {

constexpr int kMaxDepth = 32;  // as the command line bounds a preset file

void put(std::vector<std::uint8_t>& out, const void* bytes, size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    out.insert(out.end(), p, p + n);
}

void putLength(std::vector<std::uint8_t>& out, size_t n) {
    const auto length = std::uint32_t(n);
    put(out, &length, 4);
}

void encode(std::vector<std::uint8_t>& out, CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        auto s = static_cast<CFStringRef>(value);
        out.push_back('S');
        putLength(out, size_t(CFStringGetLength(s)));
        put(out, CFStringGetUTF8(s), size_t(CFStringGetLength(s)));
    } else if (type == CFDataGetTypeID()) {
        auto d = static_cast<CFDataRef>(value);
        out.push_back('B');
        putLength(out, size_t(CFDataGetLength(d)));
        put(out, CFDataGetBytePtr(d), size_t(CFDataGetLength(d)));
    } else if (type == CFNumberGetTypeID() && CFNumberIsFloatType(static_cast<CFNumberRef>(value))) {
        double v = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat64Type, &v);
        out.push_back('R');
        put(out, &v, 8);
    } else if (type == CFNumberGetTypeID()) {
        std::int64_t v = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &v);
        out.push_back('I');
        put(out, &v, 8);
    } else if (type == CFDictionaryGetTypeID()) {
        auto dict = static_cast<CFDictionaryRef>(value);
        const CFIndex n = CFDictionaryGetCount(dict);
        std::vector<const void*> keys(static_cast<size_t>(n)), values(static_cast<size_t>(n));
        CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
        out.push_back('D');
        putLength(out, size_t(n));
        for (CFIndex i = 0; i < n; ++i) {
            auto key = static_cast<CFStringRef>(keys[size_t(i)]);
            putLength(out, size_t(CFStringGetLength(key)));
            put(out, CFStringGetUTF8(key), size_t(CFStringGetLength(key)));
            encode(out, values[size_t(i)]);
        }
    } else {
        out.push_back('X');
    }
}

// Reads one value; every read is bounded by the end of the bytes.
class Decoder {
public:
    explicit Decoder(std::span<const std::uint8_t> bytes) : mBytes(bytes) {}
    bool atEnd() const { return mPos == mBytes.size(); }

    // False for a damaged encoding; `value` stays null for a dropped one.
    bool value(int depth, CFTypeRef& value) {
        value = nullptr;
        std::uint8_t tag = 0;
        if (!take(&tag, 1)) return false;
        switch (tag) {
            case 'S': {
                std::string s;
                if (!text(s)) return false;
                value = CFStringCreateWithCString(nullptr, s.c_str(), kCFStringEncodingUTF8);
                return true;
            }
            case 'B': {
                std::uint32_t n = 0;
                if (!take(&n, 4) || n > mBytes.size() - mPos) return false;
                value = CFDataCreate(nullptr, mBytes.data() + mPos, CFIndex(n));
                mPos += n;
                return true;
            }
            case 'I': {
                std::int64_t v = 0;
                if (!take(&v, 8)) return false;
                // As the command line reads a file: 32 bits where the value fits.
                if (v >= INT32_MIN && v <= INT32_MAX) {
                    const std::int32_t narrow = std::int32_t(v);
                    value = CFNumberCreate(nullptr, kCFNumberSInt32Type, &narrow);
                } else {
                    value = CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
                }
                return true;
            }
            case 'R': {
                double v = 0;
                if (!take(&v, 8)) return false;
                value = CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
                return true;
            }
            case 'X': return true;
            case 'D': return dictionary(depth + 1, value);
            default: return false;
        }
    }

private:
    bool take(void* out, size_t n) {
        if (n > mBytes.size() - mPos) return false;
        std::memcpy(out, mBytes.data() + mPos, n);
        mPos += n;
        return true;
    }

    bool text(std::string& s) {
        std::uint32_t n = 0;
        if (!take(&n, 4) || n > mBytes.size() - mPos) return false;
        s.assign(reinterpret_cast<const char*>(mBytes.data() + mPos), n);
        mPos += n;
        return s.find('\0') == std::string::npos;
    }

    bool dictionary(int depth, CFTypeRef& value) {
        std::uint32_t count = 0;
        if (depth > kMaxDepth || !take(&count, 4)) return false;
        CFMutableDictionaryRef dict =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::string key;
            CFTypeRef item = nullptr;
            if (!text(key) || !this->value(depth, item)) {
                CFRelease(dict);
                return false;
            }
            if (!item) continue;
            CFStringRef cfKey = CFStringCreateWithCString(nullptr, key.c_str(), kCFStringEncodingUTF8);
            CFDictionarySetValue(dict, cfKey, item);
            CFRelease(cfKey);
            CFRelease(item);
        }
        value = dict;
        return true;
    }

    std::span<const std::uint8_t> mBytes;
    size_t mPos = 0;
};

}  // namespace

std::vector<std::uint8_t> encodeState(CFPropertyListRef state) {
    std::vector<std::uint8_t> out;
    if (state) encode(out, state);
    return out;
}

CFPropertyListRef decodeState(std::span<const std::uint8_t> bytes) {
    Decoder decoder(bytes);
    CFTypeRef value = nullptr;
    if (!decoder.value(0, value) || !value) return nullptr;
    if (!decoder.atEnd() || CFGetTypeID(value) != CFDictionaryGetTypeID()) {
        CFRelease(value);
        return nullptr;
    }
    return value;
}
