// Damaged and hostile preset files, built in memory: nested far deeper than a
// state, expanding by shared references, or containing themselves. Also a way
// to run code on a thread with a stack as small as a plug-in host's may be.
#pragma once
#include <pthread.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace hostile {

inline std::string bigEndian(uint64_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += char((value >> (8 * i)) & 0xFF);
    return out;
}

// A binary property list of these encoded objects, object 0 on top.
inline std::string binaryList(const std::vector<std::string>& objects, int refSize, int offsetSize) {
    std::string out = "bplist00";
    std::vector<uint64_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(out.size());
        out += object;
    }
    const uint64_t table = out.size();
    for (uint64_t offset : offsets) out += bigEndian(offset, offsetSize);
    out += std::string(6, '\0') + char(offsetSize) + char(refSize);
    return out + bigEndian(objects.size(), 8) + bigEndian(0, 8) + bigEndian(table, 8);
}

inline std::string array(const std::vector<uint64_t>& refs, int refSize) {
    std::string out(1, char(0xA0 | refs.size()));
    for (uint64_t ref : refs) out += bigEndian(ref, refSize);
    return out;
}

// A state-like dictionary whose "data" holds arrays nested `levels` deep.
inline std::string deepXml(int levels) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n<key>data</key>\n";
    for (int i = 0; i < levels; ++i) out += "<array>";
    for (int i = 0; i < levels; ++i) out += "</array>";
    return out + "\n</dict>\n</plist>\n";
}

// As above, but every level holds a comment with a closing tag in it: a reader
// that does not skip comments as the library does sees almost no nesting.
inline std::string deepXmlBehindComments(int levels) {
    std::string out = "<plist><dict><key>data</key>";
    for (int i = 0; i < levels; ++i) out += "<array><!--</array>-->";
    for (int i = 0; i < levels; ++i) out += "</array>";
    return out + "</dict></plist>";
}

// A dictionary with 60,000 values beside "data": no nesting, only width.
inline std::string wideXml() {
    std::string out = "<plist><dict><key>data</key><array>";
    for (int i = 0; i < 60000; ++i) out += "<true/>";
    return out + "</array></dict></plist>";
}

// {"data": [[[...]]]}, arrays nested `levels` deep, 4-byte references.
inline std::string deepBinary(int levels) {
    std::vector<std::string> objects = {std::string(1, char(0xD1)) + bigEndian(1, 4) + bigEndian(2, 4),
                                        "\x54"
                                        "data"};
    for (int i = 0; i < levels - 1; ++i) objects.push_back(array({uint64_t(i) + 3}, 4));
    objects.push_back(array({}, 4));
    return binaryList(objects, 4, 4);
}

// 32 arrays, each holding two references to the next: 166 bytes that a reader
// building every reference afresh turns into 2^32 values.
inline std::string expandingBinary() {
    std::vector<std::string> objects;
    for (uint64_t i = 0; i < 31; ++i) objects.push_back(array({i + 1, i + 1}, 1));
    objects.push_back(array({}, 1));
    return binaryList(objects, 1, 1);
}

// {"data": a} where the array a holds itself.
inline std::string selfContainingBinary() {
    return binaryList({"\xD1\x01\x02",
                       "\x54"
                       "data",
                       array({2}, 1)},
                      1, 1);
}

// Every hostile file with a name for messages and file names.
inline std::vector<std::pair<std::string, std::string>> all() {
    return {{"xml-deep", deepXml(60000)},
            {"xml-deep-comments", deepXmlBehindComments(30000)},
            {"xml-wide", wideXml()},
            {"binary-deep", deepBinary(100000)},
            {"binary-expanding", expandingBinary()},
            {"binary-self", selfContainingBinary()}};
}

// Runs `work` on a thread with a 256 KB stack and waits for it.
inline void onSmallStack(const std::function<void()>& work) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 << 10);
    pthread_t thread;
    auto run = [](void* w) -> void* {
        (*static_cast<const std::function<void()>*>(w))();
        return nullptr;
    };
    if (pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&work)) != 0) std::abort();
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

}  // namespace hostile
