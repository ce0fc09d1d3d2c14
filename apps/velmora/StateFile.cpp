// Preset files: the class-info dictionary to and from a property-list file.
#include "StateFile.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "AudioFile.h"

namespace {

// The instrument's state is a dictionary two levels deep and about 2 KB; these
// bound what a file may make the property-list library build.
constexpr int kMaxDepth = 32;                               // containers inside one another
constexpr uint64_t kMaxNodes = 10000;                       // values in the tree, a shared one at each use
constexpr uint64_t kMaxExpandedBytes = kMaxStateFileBytes;  // strings and data, likewise
constexpr size_t npos = std::string_view::npos;

// The library reads XML without recursion but frees the tree recursively. This
// follows its lexical rules (comments, CDATA, the DOCTYPE, quoted attribute values,
// empty elements, and the end of reading at the close of the top value) to bound
// nesting and element count first. False also where the library would fail, and
// for a plist element inside another or a tag name holding a zero byte, which it
// takes but no writer produces.
bool xmlWithinBounds(std::string_view s) {
    // The first `what` at or after `from`; with `quotes`, none inside "...".
    const auto find = [&](size_t from, std::string_view what, bool quotes) {
        for (size_t i = from; i < s.size(); ++i) {
            if (s.compare(i, what.size(), what) == 0) return i;
            if (quotes && s[i] == '"' && (i = s.find('"', i + 1)) == npos) break;
        }
        return npos;
    };
    const auto findAny = [&](size_t from, std::string_view chars, bool quotes) {
        for (size_t i = from; i < s.size(); ++i) {
            if (quotes && s[i] == '"') {
                if ((i = s.find('"', i + 1)) == npos) break;
            } else if (chars.find(s[i]) != npos) {
                return i;
            }
        }
        return npos;
    };
    const auto past = [](size_t at, size_t length) { return at == npos ? npos : at + length; };
    constexpr std::string_view kScalars[] = {"key", "string", "integer", "real", "true", "false", "data", "date"};

    std::string open;  // the library's path of open tags: 'p'list, 'a'rray, 'd'ict
    int depth = 0;     // of the container new values go into; 0 before the top value
    uint64_t elements = 0;
    for (size_t pos = 0;;) {
        if ((pos = s.find_first_not_of(" \t\r\n", pos)) == npos) return true;
        if (s[pos] != '<' || ++pos == s.size()) return false;
        if (s[pos] == '?') {
            pos = past(find(pos, "?>", true), 2);
        } else if (s.compare(pos, 3, "!--") == 0) {
            pos = past(find(pos + 3, "-->", false), 3);
        } else if (s.compare(pos, 8, "!DOCTYPE") == 0) {
            pos = findAny(pos + 8, "[>", true);
            pos = pos != npos && s[pos] == '[' ? past(find(pos, "]>", true), 2) : past(pos, 1);
        } else {
            const size_t nameEnd = findAny(pos, " \r\n\t<>", false);
            const size_t end = nameEnd == npos || s[nameEnd] == '>' ? nameEnd : findAny(nameEnd, "<>", true);
            if (end == npos || s[end] != '>') return false;
            std::string_view name = s.substr(pos, nameEnd - pos);
            const bool empty = s[end - 1] == '/';
            if (empty && end - pos - 1 < name.size()) name = name.substr(0, end - pos - 1);
            pos = end + 1;
            if (name.empty() || name.find('\0') != npos) return false;

            if (name == "plist") {
                if (open.empty() && depth > 0) return true;  // a second top-level list is not read
                if (!open.empty() || empty) return false;
                open += 'p';
                continue;
            }
            if (name[0] == '/') {
                if (open.empty()) return false;
                const std::string_view top = open.back() == 'p' ? "plist" : open.back() == 'a' ? "array" : "dict";
                if (name.substr(1) != top) return false;
                open.pop_back();
                if (top != "plist" && --depth == 0) return true;  // the top value is complete
                continue;
            }
            const bool container = name == "array" || name == "dict";
            if (!container && std::find(std::begin(kScalars), std::end(kScalars), name) == std::end(kScalars))
                return false;
            if (++elements > kMaxNodes) return false;
            // A value's text runs to its closing tag; comments and CDATA inside are skipped.
            while (!container && !empty) {
                if ((pos = s.find('<', pos)) == npos) return false;
                if (s.compare(pos + 1, 3, "!--") == 0) {
                    pos = past(find(pos + 4, "-->", false), 3);
                } else if (s.compare(pos + 1, 8, "![CDATA[") == 0) {
                    pos = past(find(pos + 9, "]]>", false), 3);
                } else if (s.compare(pos + 1, 1, "/") == 0 && s.compare(pos + 2, name.size(), name) == 0) {
                    pos = s.find_first_not_of(" \t\r\n", pos + 2 + name.size());
                    if (pos == npos || s[pos] != '>') return false;
                    ++pos;
                    break;
                } else {
                    return false;
                }
                if (pos == npos) return false;
            }
            if (depth == 0 && !container) return true;  // a lone value is all the library reads
            if (depth == 0 || (container && !empty)) {
                if (++depth > kMaxDepth) return false;
                if (!empty) open += name[0];
            }
        }
        if (pos == npos) return false;
    }
}

// The library reads a binary list by recursion and builds each reference to an
// object afresh, so a small file can describe a huge tree. This walks the object
// table from the top object without recursion, expanding each object once, and
// refuses an object inside itself as the library does. False also where the
// library would fail, and for sizes wider than 8 bytes, which no writer uses.
bool binaryWithinBounds(std::string_view s) {
    const auto number = [&](uint64_t at, uint64_t width) {
        uint64_t v = 0;
        for (uint64_t i = 0; i < width; ++i) v = v << 8 | uint8_t(s[at + i]);
        return v;
    };
    if (s.size() < 8 + 32) return false;
    const size_t trailer = s.size() - 32;
    const uint64_t offsetSize = uint8_t(s[trailer + 6]), refSize = uint8_t(s[trailer + 7]);
    const uint64_t count = number(trailer + 8, 8), top = number(trailer + 16, 8), table = number(trailer + 24, 8);
    if (offsetSize == 0 || offsetSize > 8 || refSize == 0 || refSize > 8 || top >= count || table < 8 ||
        table >= trailer || count > (trailer - table) / offsetSize)
        return false;

    struct Object {
        uint64_t refs = 0, children = 0, bytes = 0;
        bool container = false;
    };
    // Where object `index`'s references start and how many it has, or the bytes a value copies.
    const auto read = [&](uint64_t index, Object& o) {
        const uint64_t at = number(table + index * offsetSize, offsetSize);
        if (at >= table) return false;
        const unsigned type = uint8_t(s[at]) >> 4;
        uint64_t length = uint8_t(s[at]) & 0xF, pos = at + 1;
        if (length == 0xF && (type == 0x4 || type == 0x5 || type == 0x6 || type == 0xA || type == 0xC || type == 0xD)) {
            if (pos >= table || uint8_t(s[pos]) >> 4 != 0x1 || (s[pos] & 0xF) > 3) return false;
            const uint64_t width = uint64_t(1) << (s[pos] & 0xF);
            if (pos + 1 + width > table) return false;
            length = number(pos + 1, width);
            pos += 1 + width;
            if (length > table) return false;
        }
        uint64_t extent = 0;
        switch (type) {
            case 0x0: break;
            case 0x1:
            case 0x2:
            case 0x3: extent = uint64_t(1) << length; break;
            case 0x4:
            case 0x5: extent = o.bytes = length; break;
            case 0x6: extent = o.bytes = 2 * length; break;
            case 0x8: extent = length + 1; break;
            case 0xA:
            case 0xC:
                o.children = length;
                extent = length * refSize;
                o.container = true;
                break;
            case 0xD:
                o.children = 2 * length;
                extent = 2 * length * refSize;
                o.container = true;
                break;
            default: return false;
        }
        o.refs = pos;
        return pos + extent <= table;
    };

    struct Seen {
        uint32_t nodes = 0, bytes = 0;
        uint8_t height = 0;  // containers on the longest way down, itself included
        uint8_t state = 0;   // 0 not yet, 1 on the way down to here, 2 expanded
    };
    struct Level {
        uint64_t index, refs, children, next = 0, nodes = 1, bytes = 0, height = 1;
    };
    std::vector<Seen> seen(count);
    std::vector<Level> path;
    // Adds an expanded child to the container it was reached from.
    const auto add = [&](const Seen& child) {
        Level& parent = path.back();
        parent.nodes += child.nodes;
        parent.bytes += child.bytes;
        parent.height = std::max<uint64_t>(parent.height, child.height + 1u);
        return parent.nodes <= kMaxNodes && parent.bytes <= kMaxExpandedBytes &&
               path.size() - 1 + parent.height <= uint64_t(kMaxDepth);
    };
    Object o;
    if (!read(top, o)) return false;
    if (!o.container) return true;
    seen[top].state = 1;
    path.push_back({top, o.refs, o.children});
    while (!path.empty()) {
        Level& level = path.back();
        if (level.next == level.children) {
            const Seen done{uint32_t(level.nodes), uint32_t(level.bytes), uint8_t(level.height), 2};
            seen[level.index] = done;
            path.pop_back();
            if (!path.empty() && !add(done)) return false;
            continue;
        }
        const uint64_t index = number(level.refs + level.next++ * refSize, refSize);
        if (index >= count) return false;
        Seen& child = seen[index];
        if (child.state == 1) return false;  // inside itself
        if (child.state == 0) {
            o = {};
            if (!read(index, o)) return false;
            if (o.container) {
                if (path.size() >= size_t(kMaxDepth)) return false;
                child.state = 1;
                path.push_back({index, o.refs, o.children});
                continue;
            }
            child = {1, uint32_t(o.bytes), 0, 2};
        }
        if (!add(child)) return false;
    }
    return true;
}

using PlistPtr = std::unique_ptr<void, void (*)(void*)>;
PlistPtr own(plist_t p) {
    return PlistPtr(p, [](void* q) { plist_free(plist_t(q)); });
}

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
            CFMutableDictionaryRef out =
                CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
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
        default: return nullptr;  // arrays, dates and booleans have no place in a state
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
    // Bounded before the library builds anything; it tells the formats apart by these 8 bytes.
    if (bytes.size() > kMaxStateFileBytes) return nullptr;
    const bool binary = bytes.compare(0, 8, "bplist00") == 0;
    if (!(binary ? binaryWithinBounds(bytes) : xmlWithinBounds(bytes))) return nullptr;
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
    if (size > kMaxStateFileBytes) throw std::runtime_error(path.string() + ": too large for a preset file");
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
