// Preset files: the class-info dictionary to and from a property-list file.
#include "StateFile.h"

#include <plist/plist.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "WavFile.h"

namespace {

constexpr std::uintmax_t kMaxFileBytes = 16u << 20;

using PlistPtr = std::unique_ptr<void, void (*)(void*)>;
PlistPtr own(plist_t p) { return PlistPtr(p, [](void* q) { plist_free(plist_t(q)); }); }

plist_t toPlist(CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) return plist_new_string(CFStringGetUTF8(static_cast<CFStringRef>(value)));
    if (type == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(value);
        return plist_new_data(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), UInt64(CFDataGetLength(data)));
    }
    if (type == CFNumberGetTypeID()) {
        auto number = static_cast<CFNumberRef>(value);
        if (CFNumberIsFloatType(number)) {
            double v = 0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &v);
            return plist_new_real(v);
        }
        SInt64 v = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &v);
        return plist_new_uint(UInt64(v));
    }
    if (type == CFDictionaryGetTypeID()) {
        auto dict = static_cast<CFDictionaryRef>(value);
        const CFIndex n = CFDictionaryGetCount(dict);
        std::vector<const void*> keys(static_cast<size_t>(n)), values(static_cast<size_t>(n));
        CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
        plist_t out = plist_new_dict();
        for (CFIndex i = 0; i < n; ++i)
            if (plist_t item = toPlist(values[size_t(i)]))
                plist_dict_set_item(out, CFStringGetUTF8(static_cast<CFStringRef>(keys[size_t(i)])), item);
        return out;
    }
    return nullptr;
}

// Thrown for a value that no state can hold; the whole file is refused.
struct DamagedPlist {};

CFTypeRef fromPlist(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_STRING: {
            // A binary list may put a zero byte inside a string, which the
            // library's copying getter does not survive: read it in place.
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            if (!s) s = "";
            if (std::strlen(s) != length) throw DamagedPlist{};
            return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8);
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            UInt64 length = 0;
            plist_get_data_val(node, &bytes, &length);
            CFDataRef out = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), CFIndex(length));
            free(bytes);
            return out;
        }
        case PLIST_UINT: {
            UInt64 v = 0;
            plist_get_uint_val(node, &v);
            const SInt64 s = SInt64(v);
            if (s >= INT32_MIN && s <= INT32_MAX) {
                const SInt32 narrow = SInt32(s);
                return CFNumberCreate(nullptr, kCFNumberSInt32Type, &narrow);
            }
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &s);
        }
        case PLIST_REAL: {
            double v = 0;
            plist_get_real_val(node, &v);
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
        }
        case PLIST_DICT: {
            CFMutableDictionaryRef out = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                   &kCFTypeDictionaryValueCallBacks);
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!item) {
                    free(key);
                    break;
                }
                CFTypeRef value = nullptr;
                try {
                    value = fromPlist(item);
                } catch (const DamagedPlist&) {
                    free(key);
                    free(it);
                    CFRelease(out);
                    throw;
                }
                if (value) {
                    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key ? key : "", kCFStringEncodingUTF8);
                    CFDictionarySetValue(out, cfKey, value);
                    CFRelease(cfKey);
                    CFRelease(value);
                }
                free(key);
            }
            free(it);
            return out;
        }
        default:
            return nullptr;  // arrays, dates and booleans have no place in a state
    }
}

}  // namespace

std::string stateToXml(CFPropertyListRef state) {
    PlistPtr root = own(toPlist(state));
    char* xml = nullptr;
    UInt32 length = 0;
    plist_to_xml(plist_t(root.get()), &xml, &length);
    std::string out(xml ? xml : "", length);
    free(xml);
    return out;
}

CFPropertyListRef stateFromBytes(const std::string& bytes) {
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), UInt32(bytes.size()), &root);
    if (!root) return nullptr;
    PlistPtr guard = own(root);
    if (plist_get_node_type(root) != PLIST_DICT) return nullptr;
    try {
        return fromPlist(root);
    } catch (const DamagedPlist&) {
        return nullptr;
    }
}

void saveStateFile(HostedInstrument& instrument, const std::filesystem::path& path) {
    CFPropertyListRef state = instrument.saveState();
    const std::string xml = stateToXml(state);
    CFRelease(state);
    writeFileAtomically(path, xml);
}

void loadStateFile(HostedInstrument& instrument, const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) throw std::runtime_error(path.string() + ": cannot read (" + ec.message() + ")");
    if (size > kMaxFileBytes) throw std::runtime_error(path.string() + ": too large for a preset file");
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw std::runtime_error(path.string() + ": cannot read");
    CFPropertyListRef state = stateFromBytes(bytes);
    if (!state) throw std::runtime_error(path.string() + ": not a property-list preset file (damaged or truncated)");
    const OSStatus status = instrument.restoreState(state);
    CFRelease(state);
    if (status != noErr)
        throw std::runtime_error(path.string() + ": not a preset of this instrument, or damaged (error " +
                                 std::to_string(status) + ")");
}
