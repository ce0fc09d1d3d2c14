// velmora_lv2_describe BUNDLE [--ui]: writes the bundle's descriptions from the
// instrument itself, opened through the host-side calls as any host would:
// manifest.ttl, velmora.ttl (ports from the parameter table) and one file per
// factory preset under presets/. With --ui it also describes velmora_ui.so.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Binding/VelmoraEntry.h"
#include "Host/ParameterGroups.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "Platform/RenderCall.h"
#include "VelmoraVersion.h"
#include "plugins/lv2/PortSymbols.h"
#include "plugins/lv2/VelmoraPorts.h"
#include "plugins/lv2/VelmoraUris.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "velmora_lv2_describe: %s\n", message.c_str());
    std::exit(1);
}

void check(OSStatus status, const char* what) {
    if (status != noErr) fail(std::string(what) + " failed (error " + std::to_string(status) + ")");
}

struct Parameter {
    std::string name;
    AudioUnitParameterInfo info;
    std::vector<std::string> valueNames;
};

struct Preset {
    SInt32 number;
    std::string name;
    std::vector<float> values;
};

// Shortest text that reads back as the same float, as a Turtle decimal or double.
std::string number(float v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    std::string s(text, end);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    if (!std::isfinite(v) || float(std::strtod(s.c_str(), nullptr)) != v)
        fail("the value " + s + " does not read back exactly");
    return s;
}

std::string literal(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string presetURI(SInt32 number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d", int(number));
    return std::string(kPresetURIPrefix) + digits;
}

std::string presetFile(SInt32 number) {
    char name[32];
    std::snprintf(name, sizeof name, "presets/%02d.ttl", int(number));
    return name;
}

bool validSymbol(const std::string& s) {
    if (s.empty() || !(std::isalpha(UInt8(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(UInt8(c)) || c == '_')) return false;
    return true;
}

class Instrument {
public:
    Instrument() {
        Component component = RegisterVelmora();
        if (!component) fail("the instrument is not registered");
        check(OpenAComponent(component, &mUnit), "opening the instrument");
        const AudioStreamBasicDescription format = CanonicalOutputFormat(44100, 2);
        check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                   sizeof format),
              "setting the output format");
        check(AudioUnitInitialize(mUnit), "initializing the instrument");
    }
    ~Instrument() {
        AudioUnitUninitialize(mUnit);
        CloseComponent(mUnit);
    }

    std::vector<Parameter> parameters() {
        UInt32 size = 0;
        Boolean writable = false;
        check(AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                       &writable),
              "listing the parameters");
        std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
        check(
            AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids.data(), &size),
            "listing the parameters");
        std::vector<Parameter> list;
        for (UInt32 i = 0; i < ids.size(); ++i) {
            if (ids[i] != i) fail("parameter IDs are not 0, 1, 2 ...");
            Parameter p;
            UInt32 infoSize = sizeof p.info;
            check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, ids[i], &p.info,
                                       &infoSize),
                  "reading a parameter");
            p.name.assign(p.info.name, strnlen(p.info.name, sizeof p.info.name));
            CFArrayRef names = nullptr;
            UInt32 namesSize = sizeof names;
            if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, ids[i],
                                     &names, &namesSize) == noErr &&
                names) {
                for (CFIndex n = 0; n < CFArrayGetCount(names); ++n)
                    p.valueNames.emplace_back(
                        CFStringGetUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, n))));
                CFRelease(names);
            }
            list.push_back(std::move(p));
        }
        return list;
    }

    // Each factory preset as the instrument holds it once selected.
    std::vector<Preset> presets(UInt32 parameterCount) {
        CFArrayRef list = nullptr;
        UInt32 size = sizeof list;
        check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &list, &size),
              "listing the factory presets");
        std::vector<Preset> presets;
        for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
            const AUPreset preset = *static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i));
            check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &preset,
                                       sizeof preset),
                  "selecting a preset");
            Preset p{preset.presetNumber, CFStringGetUTF8(preset.presetName), {}};
            for (UInt32 id = 0; id < parameterCount; ++id) {
                Float32 v = 0;
                check(AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &v), "reading a preset value");
                p.values.push_back(v);
            }
            presets.push_back(std::move(p));
        }
        CFRelease(list);
        return presets;
    }

private:
    AudioUnit mUnit = nullptr;
};

constexpr const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

void write(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) fail("cannot write " + path.string());
}

std::string manifest(const std::vector<Preset>& presets, bool ui) {
    std::string t = kPrefixes;
    t += "<" + std::string(kPluginURI) + ">\n    a lv2:Plugin, lv2:InstrumentPlugin ;\n" +
         "    lv2:binary <velmora_dsp.so> ;\n    rdfs:seeAlso <velmora.ttl> .\n";
    if (ui)
        t += "\n<" + std::string(kPluginUiURI) + ">\n    a ui:X11UI ;\n    ui:binary <velmora_ui.so> ;\n" +
             "    rdfs:seeAlso <velmora.ttl> .\n";
    for (const Preset& p : presets)
        t += "\n<" + presetURI(p.number) + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + kPluginURI + "> ;\n" +
             "    rdfs:seeAlso <" + presetFile(p.number) + "> .\n";
    return t;
}

// What a host shows beside the parameters whose names do not say what they do.
const char* portComment(const std::string& name) {
    if (name.ends_with("Mo'logy"))
        return "The oscillator's first shape control: for saw o/e the detune between odd and even harmonics, "
               "for digiwave the phase-modulation depth; pwm ignores it.";
    if (name.ends_with("Vari"))
        return "The oscillator's second shape control: for saw o/e the balance of odd and even harmonics, for "
               "digiwave the balance of its two modulators, for pwm the pulse width.";
    if (name.ends_with("inPhase")) return "The LFO's start phase, 0 to 100 for a whole cycle.";
    return nullptr;
}

std::string plugin(const std::vector<Parameter>& parameters, bool ui) {
    const std::string self = kPluginURI;
    std::string t = kPrefixes;
    for (const ParameterGroup& g : parameterGroups())
        t += "<" + self + "#" + g.symbol + ">\n    a pg:Group ;\n    lv2:symbol \"" + g.symbol + "\" ;\n" +
             "    rdfs:label \"" + g.label + "\" .\n\n";
    // The state key, defined so that a validator knows it.
    t += "<" + std::string(kPresetNameURI) + ">\n    a rdf:Property ;\n    rdfs:label \"preset name\" ;\n" +
         "    rdfs:comment \"The name of the instrument's current settings.\" ;\n    rdfs:range xsd:string .\n\n";
    t += "<" + self + "#out>\n    a pg:OutputGroup, pg:StereoGroup ;\n    lv2:symbol \"out\" ;\n" +
         "    rdfs:label \"Output\" .\n\n";

    // The project's minor and patch numbers as LV2's minor and micro versions: releases keep
    // both even (LV2 reads odd ones, and minor 0, as development versions), and a change that
    // breaks ports takes a new plug-in URI, which is LV2's major version.
    t += "<" + self + ">\n    a lv2:Plugin, lv2:InstrumentPlugin, doap:Project ;\n    doap:name \"Velmora\" ;\n" +
         "    doap:maintainer [\n        a foaf:Person ;\n        foaf:name \"Velmora developers\"\n    ] ;\n" +
         "    doap:license <http://opensource.org/licenses/isc> ;\n" +
         "    rdfs:comment \"A monophonic synthesizer of two table oscillators and noise through two waveshapers "
         "and two multimode filters in nine routings, shaped by three envelopes, two LFOs and two modulation "
         "multipliers.\" ;\n";
    t += "    lv2:minorVersion " + std::to_string(VELMORA_VERSION_MINOR) + " ;\n";
    t += "    lv2:microVersion " + std::to_string(VELMORA_VERSION_PATCH) + " ;\n";
    t += "    lv2:requiredFeature urid:map ;\n    lv2:optionalFeature lv2:hardRTCapable ;\n"
         "    lv2:extensionData state:interface ;\n";
    if (ui) t += "    ui:ui <" + std::string(kPluginUiURI) + "> ;\n";
    t += "    lv2:port [\n        a lv2:InputPort, atom:AtomPort ;\n        lv2:index " + std::to_string(kMidiInPort) +
         " ;\n        lv2:symbol \"midi_in\" ;\n        lv2:name \"MIDI In\" ;\n" +
         "        atom:bufferType atom:Sequence ;\n        atom:supports midi:MidiEvent ;\n" +
         "        lv2:designation lv2:control\n    ]";
    const char* sides[] = {"l", "r"};
    const char* names[] = {"Left", "Right"};
    for (int c = 0; c < 2; ++c)
        t += " , [\n        a lv2:OutputPort, lv2:AudioPort ;\n        lv2:index " +
             std::to_string(kFirstAudioOutPort + c) + " ;\n        lv2:symbol \"out_" + sides[c] +
             "\" ;\n        lv2:name \"" + names[c] + "\" ;\n        pg:group <" + self +
             "#out> ;\n        lv2:designation pg:" + (c ? "right" : "left") + "\n    ]";

    std::vector<const char*> groupOf(parameters.size(), nullptr);
    for (const ParameterGroup& g : parameterGroups())
        for (UInt32 id : g.ids)
            if (id < groupOf.size()) groupOf[id] = g.symbol;
    for (UInt32 id = 0; id < parameters.size(); ++id) {
        const Parameter& p = parameters[id];
        const bool indexed = p.info.unit == kAudioUnitParameterUnit_Indexed;
        t += " , [\n        a lv2:InputPort, lv2:ControlPort ;\n        lv2:index " +
             std::to_string(kFirstParameterPort + id) + " ;\n        lv2:symbol \"" + kPortSymbols[id] +
             "\" ;\n        lv2:name " + literal(p.name) + " ;\n        lv2:default " + number(p.info.defaultValue) +
             " ;\n        lv2:minimum " + number(p.info.minValue) + " ;\n        lv2:maximum " +
             number(p.info.maxValue);
        if (groupOf[id]) t += " ;\n        pg:group <" + self + "#" + groupOf[id] + ">";
        if (const char* comment = portComment(p.name)) t += " ;\n        rdfs:comment " + literal(comment);
        // Value names beyond the range stay out of a host's menu: it would offer values the port refuses.
        std::vector<std::pair<float, std::string>> points;
        for (size_t v = 0; v < p.valueNames.size(); ++v)
            if (float(v) >= p.info.minValue && float(v) <= p.info.maxValue)
                points.emplace_back(float(v), p.valueNames[v]);
        if (indexed)
            t += std::string(" ;\n        lv2:portProperty lv2:integer") + (points.empty() ? "" : ", lv2:enumeration");
        for (size_t i = 0; i < points.size(); ++i)
            t += std::string(i ? " , " : " ;\n        lv2:scalePoint ") + "[ rdfs:label " + literal(points[i].second) +
                 " ; rdf:value " + number(points[i].first) + " ]";
        t += "\n    ]";
    }
    t += " .\n";

    if (ui)
        t += "\n<" + std::string(kPluginUiURI) + ">\n    a ui:X11UI ;\n    lv2:requiredFeature urid:map ;\n" +
             "    lv2:optionalFeature ui:parent, ui:resize, opts:options, ui:idleInterface ;\n" +
             "    lv2:extensionData ui:idleInterface, ui:showInterface .\n";
    return t;
}

std::string presetDescription(const Preset& p) {
    std::string t = kPrefixes;
    t += "<" + presetURI(p.number) + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + kPluginURI + "> ;\n" +
         "    rdfs:label " + literal(p.name) + " ;\n    lv2:port";
    for (UInt32 id = 0; id < p.values.size(); ++id)
        t += std::string(id ? " , " : " ") + "[ lv2:symbol \"" + kPortSymbols[id] + "\" ; pset:value " +
             number(p.values[id]) + " ]";
    t += " ;\n    state:state [ <" + std::string(kPresetNameURI) + "> " + literal(p.name) + " ] .\n";
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--ui") != 0))
        fail("usage: velmora_lv2_describe BUNDLE [--ui]");
    const fs::path bundle = argv[1];
    const bool ui = argc == 3;
    SetPlatformLogHook(PlatformLogSilent);

    Instrument instrument;
    const std::vector<Parameter> parameters = instrument.parameters();
    constexpr size_t kSymbols = sizeof kPortSymbols / sizeof kPortSymbols[0];
    if (parameters.size() != kSymbols)
        fail(std::to_string(parameters.size()) + " parameters but " + std::to_string(kSymbols) +
             " port symbols: give each new parameter a symbol in PortSymbols.h");
    std::set<std::string> seen = {"midi_in", "out_l", "out_r"};
    for (const char* s : kPortSymbols)
        if (!validSymbol(s) || !seen.insert(s).second) fail(std::string("bad or repeated port symbol '") + s + "'");
    const std::vector<Preset> presets = instrument.presets(UInt32(parameters.size()));

    std::error_code error;
    fs::create_directories(bundle / "presets", error);
    if (error) fail("cannot make " + (bundle / "presets").string() + ": " + error.message());
    write(bundle / "manifest.ttl", manifest(presets, ui));
    write(bundle / "velmora.ttl", plugin(parameters, ui));
    for (const Preset& p : presets) write(bundle / presetFile(p.number), presetDescription(p));
    return 0;
}
