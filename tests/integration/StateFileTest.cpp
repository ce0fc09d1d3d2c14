// Saved state: the class-info dictionary of the instrument, its settings block
// and .aupreset files, including the refusal of foreign and damaged ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "../support/HostilePresets.h"
#include "Binding/VelmoraEntry.h"
#include "Host/HostedInstrument.h"
#include "Platform/Log.h"
#include "StateFile.h"

#include <plist/plist.h>

namespace fs = std::filesystem;

namespace {

struct Fixture {
    Fixture() {
        SetPlatformLogHook(PlatformLogSilent);
        RegisterVelmora();
    }
};

std::unique_ptr<HostedInstrument> openInstrument() {
    static Fixture once;
    auto inst = std::make_unique<HostedInstrument>(kVelmoraDescription);
    inst->configure(44100, 2, 64);
    return inst;
}

std::vector<float> allValues(HostedInstrument& inst) {
    std::vector<float> v;
    for (UInt32 id = 0; id < 102; ++id) v.push_back(inst.getParameter(id));
    return v;
}

std::string presetName(HostedInstrument& inst) {
    AUPreset preset{};
    UInt32 size = sizeof preset;
    AudioUnitGetProperty(inst.unit(), kAudioUnitProperty_CurrentPreset, 0, 0, &preset, &size);
    return CFStringGetUTF8(preset.presetName);
}

// A copy of `state` with `key` replaced by `value` (null removes nothing; see below).
CFMutableDictionaryRef withValue(CFPropertyListRef state, const char* key, CFTypeRef value) {
    auto dict = static_cast<CFDictionaryRef>(state);
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const CFIndex n = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(n)), values(static_cast<size_t>(n));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    for (CFIndex i = 0; i < n; ++i) {
        const bool replaced = std::strcmp(CFStringGetUTF8(static_cast<CFStringRef>(keys[size_t(i)])), key) == 0;
        if (!replaced) CFDictionarySetValue(copy, keys[size_t(i)], values[size_t(i)]);
    }
    if (value) CFDictionarySetValue(copy, CFSTR_(key), value);
    return copy;
}

fs::path tempFile(const char* name) { return fs::temp_directory_path() / (std::to_string(::getpid()) + "-" + name); }

}  // namespace

TEST(State, FileRoundTripReproducesEveryValueAndTheName) {
    auto source = openInstrument();
    source->selectPreset(28);
    source->setParameter(8, 9.875f);
    source->setParameter(10, 0.4f);
    const fs::path file = tempFile("roundtrip.aupreset");
    saveStateFile(*source, file);

    auto target = openInstrument();
    loadStateFile(*target, file);
    EXPECT_EQ(allValues(*target), allValues(*source));
    EXPECT_EQ(presetName(*target), "Arctic Wind -VN");
    fs::remove(file);
}

TEST(State, SettingsBlockIsBigEndianAndExactlyItsSize) {
    auto inst = openInstrument();
    inst->setParameter(0, 1.0f);  // 0x3F800000
    CFPropertyListRef state = inst->saveState();
    auto block =
        static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("ZPQ-DATA-KEY")));
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(CFDataGetLength(block), 456);
    const UInt8* bytes = CFDataGetBytePtr(block);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes), "default");
    EXPECT_EQ(bytes[48], 0x3F);
    EXPECT_EQ(bytes[49], 0x80);

    for (CFIndex length : {455, 457}) {
        std::vector<UInt8> wrong(size_t(length), 0);
        CFDataRef data = CFDataCreate(nullptr, wrong.data(), length);
        CFMutableDictionaryRef bad = withValue(state, "ZPQ-DATA-KEY", data);
        inst->setParameter(0, 77);
        EXPECT_EQ(inst->restoreState(bad), kAudioUnitErr_InvalidPropertyValue) << length;
        EXPECT_EQ(inst->getParameter(0), 77.0f);
        CFRelease(bad);
        CFRelease(data);
    }
    CFRelease(state);
}

TEST(State, ForeignOrIncompleteStatesChangeNothing) {
    auto inst = openInstrument();
    CFPropertyListRef state = inst->saveState();
    inst->selectPreset(1);
    const auto before = allValues(*inst);
    const std::string nameBefore = presetName(*inst);

    const SInt32 otherSubtype = SInt32(FourCC("XXXX"));
    CFNumberRef other = CFNumberCreate(nullptr, kCFNumberSInt32Type, &otherSubtype);
    CFMutableDictionaryRef foreign = withValue(state, "subtype", other);
    EXPECT_EQ(inst->restoreState(foreign), kAudioUnitErr_InvalidPropertyValue);
    CFMutableDictionaryRef wrongType = withValue(state, "version", CFSTR("0"));
    EXPECT_EQ(inst->restoreState(wrongType), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(allValues(*inst), before);
    EXPECT_EQ(presetName(*inst), nameBefore);

    // Without "name" the preset becomes "Untitled".
    CFMutableDictionaryRef unnamed = withValue(state, "name", nullptr);
    EXPECT_EQ(inst->restoreState(unnamed), noErr);
    EXPECT_EQ(presetName(*inst), "Untitled");
    for (CFTypeRef r : {CFTypeRef(other), CFTypeRef(foreign), CFTypeRef(wrongType), CFTypeRef(unnamed), state})
        CFRelease(r);
}

TEST(State, DamagedFilesAreRefusedWithAMessage) {
    auto source = openInstrument();
    const fs::path good = tempFile("good.aupreset");
    saveStateFile(*source, good);
    std::ifstream in(good, std::ios::binary);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    auto inst = openInstrument();
    inst->setParameter(4, 33);
    for (const std::string& content :
         {xml.substr(0, xml.size() / 2), std::string("not a property list"), std::string("<plist><array/></plist>")}) {
        const fs::path bad = tempFile("bad.aupreset");
        std::ofstream(bad, std::ios::binary) << content;
        EXPECT_THROW(loadStateFile(*inst, bad), std::runtime_error);
        EXPECT_EQ(inst->getParameter(4), 33.0f);
        fs::remove(bad);
    }
    EXPECT_THROW(loadStateFile(*inst, tempFile("missing.aupreset")), std::runtime_error);
    fs::remove(good);
}

TEST(State, StringHoldingAZeroByteIsRefusedWithAMessage) {
    // The property-list library aborted the process when asked for such a
    // string; the file is damaged and refused like any other.
    auto source = openInstrument();
    const fs::path good = tempFile("zero.aupreset");
    saveStateFile(*source, good);
    std::ifstream in(good, std::ios::binary);
    std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t name = xml.find("<string>Untitled</string>");
    ASSERT_NE(name, std::string::npos);
    xml.replace(name, 25, std::string("<string>Unti\0tled</string>", 26));
    std::ofstream(good, std::ios::binary | std::ios::trunc) << xml;

    auto inst = openInstrument();
    inst->setParameter(4, 33);
    EXPECT_EQ(stateFromBytes(xml), nullptr);
    EXPECT_THROW(loadStateFile(*inst, good), std::runtime_error);
    EXPECT_EQ(inst->getParameter(4), 33.0f);
    fs::remove(good);
}

TEST(State, BinaryPropertyListsAreReadToo) {
    auto source = openInstrument();
    source->selectPreset(5);
    CFPropertyListRef state = source->saveState();
    const std::string xml = stateToXml(state);
    CFRelease(state);
    plist_t root = nullptr;
    plist_from_xml(xml.data(), UInt32(xml.size()), &root);
    char* bin = nullptr;
    UInt32 length = 0;
    plist_to_bin(root, &bin, &length);
    const fs::path file = tempFile("binary.aupreset");
    std::ofstream(file, std::ios::binary).write(bin, length);
    free(bin);
    plist_free(root);

    auto target = openInstrument();
    loadStateFile(*target, file);
    EXPECT_EQ(allValues(*target), allValues(*source));
    fs::remove(file);
}

TEST(State, HostileFilesAreRefusedAsDamagedAlsoOnASmallStack) {
    // Each would crash the reader or fill the memory if it were read unbounded.
    auto inst = openInstrument();
    inst->setParameter(4, 33);
    for (const auto& [name, content] : hostile::all()) {
        ASSERT_LT(content.size(), kMaxStateFileBytes) << name;
        const fs::path file = tempFile((name + ".aupreset").c_str());
        std::ofstream(file, std::ios::binary) << content;
        for (bool smallStack : {false, true}) {
            std::string message;
            const auto load = [&] {
                try {
                    loadStateFile(*inst, file);
                } catch (const std::runtime_error& e) {
                    message = e.what();
                }
            };
            smallStack ? hostile::onSmallStack(load) : load();
            EXPECT_NE(message.find("damaged"), std::string::npos) << name << ": " << message;
            EXPECT_EQ(inst->getParameter(4), 33.0f) << name;
        }
        fs::remove(file);
    }
}

TEST(State, CommentsCdataDoctypeAndEmptyElementsAreReadAsTheLibraryDoes) {
    // A valid file in every form the bounds check must step over without miscounting.
    auto source = openInstrument();
    source->selectPreset(28);
    const fs::path file = tempFile("decorated.aupreset");
    saveStateFile(*source, file);
    std::ifstream in(file, std::ios::binary);
    std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto replace = [&](const std::string& from, const std::string& to) {
        const size_t at = xml.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        xml.replace(at, from.size(), to);
    };
    replace("<!DOCTYPE plist PUBLIC", "<?note a=\"?><array>\"?><!DOCTYPE plist [ <!ENTITY x \"]><array>\"> ]><!-- x");
    replace(".dtd\">", ".dtd\" -->");
    std::string nested;
    for (int i = 0; i < 20; ++i) nested += "<dict><key>k</key>";
    nested += "<array><true/><array /><string/><dict/></array>";
    for (int i = 0; i < 20; ++i) nested += "</dict>";
    replace("<dict>", "<dict note=\"</dict>/\"><!-- <array><array> --><key>extra</key>" + nested);
    replace("<string>Arctic Wind -VN</string>", "<string>Arctic <![CDATA[Wind]]><!-- </string> --> -VN</string >");
    xml += "<<not read after the end>";

    std::ofstream(file, std::ios::binary | std::ios::trunc) << xml;
    auto target = openInstrument();
    std::string error;
    hostile::onSmallStack([&] {
        try {
            loadStateFile(*target, file);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
    });
    EXPECT_EQ(error, "");
    EXPECT_EQ(allValues(*target), allValues(*source));
    EXPECT_EQ(presetName(*target), "Arctic Wind -VN");
    fs::remove(file);
}

TEST(State, DeepContainersOfOurOwnAreReleasedOnASmallStack) {
    CFStringRef shared = CFStringCreateWithCString(nullptr, "kept", kCFStringEncodingUTF8);
    CFTypeRef value = CFRetain(shared);
    for (int level = 0; level < 200000; ++level) {
        CFTypeRef container = nullptr;
        if (level % 2) {
            CFMutableDictionaryRef dict =
                CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
            CFDictionarySetValue(dict, CFSTR("k"), value);
            CFDictionarySetValue(dict, CFSTR("shared"), shared);
            container = dict;
        } else {
            const void* values[] = {value, shared};
            container = CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks);
        }
        CFRelease(value);
        value = container;
    }
    hostile::onSmallStack([&] { CFRelease(value); });
    EXPECT_EQ(CFGetRetainCount(shared), 1);
    EXPECT_STREQ(CFStringGetUTF8(shared), "kept");
    CFRelease(shared);
}
