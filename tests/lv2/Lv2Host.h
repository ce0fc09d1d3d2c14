// A small LV2 host over lilv for the plug-in's tests: loads the bundle from
// the build folder, instantiates with urid:map only, and plays MIDI songs in
// host blocks of any size.
#pragma once
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Host/Smf.h"
#include "Velmora/VelmoraParameters.h"
#include "plugins/lv2/VelmoraPorts.h"
#include "plugins/lv2/VelmoraUris.h"

class UridMap {
public:
    UridMap() {
        mMap = {this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); }};
        mMapFeature = {LV2_URID__map, &mMap};
        mUnmap = {this, [](LV2_URID_Unmap_Handle h, LV2_URID urid) { return static_cast<UridMap*>(h)->unmap(urid); }};
        mUnmapFeature = {LV2_URID__unmap, &mUnmap};
        mFeatures = {&mMapFeature, nullptr};
        mStateFeatures = {&mMapFeature, &mUnmapFeature, nullptr};
    }
    LV2_URID map(const char* uri) {
        for (size_t i = 0; i < mUris.size(); ++i)
            if (mUris[i] == uri) return LV2_URID(i + 1);
        mUris.emplace_back(uri);
        return LV2_URID(mUris.size());
    }
    const char* unmap(LV2_URID urid) const {
        return urid >= 1 && urid <= mUris.size() ? mUris[urid - 1].c_str() : nullptr;
    }
    LV2_URID_Map* feature() { return &mMap; }
    LV2_URID_Unmap* unmapFeature() { return &mUnmap; }
    // The instance's features: urid:map and nothing else.
    const LV2_Feature* const* features() const { return mFeatures.data(); }
    // What lilv needs beside the instance for states: map and unmap.
    const LV2_Feature* const* stateFeatures() const { return mStateFeatures.data(); }

private:
    std::vector<std::string> mUris;
    LV2_URID_Map mMap;
    LV2_URID_Unmap mUnmap;
    LV2_Feature mMapFeature, mUnmapFeature;
    std::vector<const LV2_Feature*> mFeatures, mStateFeatures;
};

// The world with only the build's bundle in it.
class Lv2World {
public:
    Lv2World() {
        world = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, VELMORA_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, kPluginURI);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~Lv2World() { lilv_world_free(world); }
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    // The plug-in's presets as lilv finds them, by the number in their URI.
    std::vector<LilvState*> presets(UridMap& urids) {
        std::vector<LilvState*> states(64, nullptr);
        LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
        LilvNodes* related = lilv_plugin_get_related(plugin, presetClass);
        LILV_FOREACH(nodes, i, related) {
            const LilvNode* preset = lilv_nodes_get(related, i);
            lilv_world_load_resource(world, preset);
            const std::string uri = lilv_node_as_uri(preset);
            const int number = std::atoi(uri.c_str() + std::strlen(kPresetURIPrefix));
            if (number >= 0 && number < int(states.size()) && !states[size_t(number)])
                states[size_t(number)] = lilv_state_new_from_world(world, urids.feature(), preset);
        }
        lilv_nodes_free(related);
        lilv_node_free(presetClass);
        while (!states.empty() && !states.back()) states.pop_back();
        return states;
    }

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
};

struct Stereo {
    std::vector<float> left, right;
};

// One instance with its ports connected to buffers of this object.
class Lv2Instance {
public:
    static constexpr uint32_t kSequenceBytes = 1 << 16;

    Lv2Instance(Lv2World& world, UridMap& urids, double rate, uint32_t maxBlock)
        : mWorld(world), mUrids(urids), mSequence(kSequenceBytes / 8), mLeft(maxBlock), mRight(maxBlock) {
        instance = lilv_plugin_instantiate(world.plugin, rate, urids.features());
        if (!instance) return;
        for (uint32_t id = 0; id < kNumberOfParameters; ++id) {
            controls[id] = VelmoraParameterTable()[id].defaultValue;
            lilv_instance_connect_port(instance, kFirstParameterPort + id, &controls[id]);
        }
        lilv_instance_connect_port(instance, kMidiInPort, sequence());
        lilv_instance_connect_port(instance, kFirstAudioOutPort, mLeft.data());
        lilv_instance_connect_port(instance, kFirstAudioOutPort + 1, mRight.data());
        clearEvents();
        lilv_instance_activate(instance);
    }
    ~Lv2Instance() {
        if (!instance) return;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    LV2_Atom_Sequence* sequence() { return reinterpret_cast<LV2_Atom_Sequence*>(mSequence.data()); }
    void clearEvents() {
        LV2_Atom_Sequence* s = sequence();
        s->atom.type = mUrids.map(LV2_ATOM__Sequence);
        s->atom.size = sizeof(LV2_Atom_Sequence_Body);
        s->body.unit = 0;
        s->body.pad = 0;
    }
    // An event `frames` into the next run; an atom of `type` (MIDI by default).
    void addEvent(int64_t frames, const std::vector<uint8_t>& bytes, LV2_URID type = 0) {
        LV2_Atom_Event header{};
        header.time.frames = frames;
        header.body.type = type ? type : mUrids.map(LV2_MIDI__MidiEvent);
        header.body.size = uint32_t(bytes.size());
        LV2_Atom_Sequence* s = sequence();
        const uint32_t used = uint32_t(sizeof(LV2_Atom)) + s->atom.size;  // a multiple of 8
        const uint32_t total = lv2_atom_pad_size(uint32_t(sizeof header + bytes.size()));
        if (used + total > kSequenceBytes) return;
        auto* at = reinterpret_cast<uint8_t*>(mSequence.data()) + used;
        std::memcpy(at, &header, sizeof header);
        if (!bytes.empty()) std::memcpy(at + sizeof header, bytes.data(), bytes.size());
        s->atom.size += total;
    }
    // Runs one block with the events added since the last run; the output is in left() and right().
    void run(uint32_t frames) {
        lilv_instance_run(instance, frames);
        clearEvents();
    }
    const float* left() const { return mLeft.data(); }
    const float* right() const { return mRight.data(); }
    void connect(uint32_t port, void* data) { lilv_instance_connect_port(instance, port, data); }

    // The current preset name, through the plug-in's state interface.
    std::string savedName() {
        auto* iface =
            static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));
        struct Saved {
            UridMap* urids;
            std::string name;
            bool found = false;
        } saved{&mUrids, {}};
        auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
            auto* s = static_cast<Saved*>(h);
            if (key != s->urids->map(kPresetNameURI) || type != s->urids->map(LV2_ATOM__String) || size == 0)
                return LV2_STATE_ERR_BAD_TYPE;
            s->name.assign(static_cast<const char*>(value), size - 1);
            s->found = true;
            return LV2_STATE_SUCCESS;
        };
        if (iface->save(lilv_instance_get_handle(instance), store, &saved, LV2_STATE_IS_POD, nullptr) !=
                LV2_STATE_SUCCESS ||
            !saved.found)
            return "<no name>";
        return saved.name;
    }

    // Applies a state as a host does: port values into `controls`, the rest through the plug-in.
    void restore(const LilvState* state) {
        lilv_state_restore(state, instance, setPortValue, this, 0, mUrids.stateFeatures());
    }
    // This instance's state as lilv makes it, with the port values from `controls`.
    LilvState* save() {
        return lilv_state_new_from_instance(mWorld.plugin, instance, mUrids.feature(), nullptr, nullptr, nullptr,
                                            nullptr, portValue, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                                            mUrids.stateFeatures());
    }

    LilvInstance* instance = nullptr;
    float controls[kNumberOfParameters] = {};

private:
    int portIndex(const char* symbol) {
        LilvNode* s = lilv_new_string(mWorld.world, symbol);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(mWorld.plugin, s);
        lilv_node_free(s);
        return port ? int(lilv_port_get_index(mWorld.plugin, port)) : -1;
    }
    static void setPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
        auto* self = static_cast<Lv2Instance*>(user);
        const int index = self->portIndex(symbol) - int(kFirstParameterPort);
        if (index < 0 || index >= int(kNumberOfParameters)) return;
        UridMap& u = self->mUrids;
        float v = NAN;
        if (type == u.map(LV2_ATOM__Float) && size == sizeof(float))
            std::memcpy(&v, value, sizeof v);
        else if (type == u.map(LV2_ATOM__Double) && size == sizeof(double))
            v = float(*static_cast<const double*>(value));
        else if (type == u.map(LV2_ATOM__Int) && size == sizeof(int32_t))
            v = float(*static_cast<const int32_t*>(value));
        else if (type == u.map(LV2_ATOM__Long) && size == sizeof(int64_t))
            v = float(*static_cast<const int64_t*>(value));
        self->controls[index] = v;
    }
    static const void* portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
        auto* self = static_cast<Lv2Instance*>(user);
        const int index = self->portIndex(symbol) - int(kFirstParameterPort);
        if (index < 0 || index >= int(kNumberOfParameters)) return nullptr;
        *size = sizeof(float);
        *type = self->mUrids.map(LV2_ATOM__Float);
        return &self->controls[index];
    }

    Lv2World& mWorld;
    UridMap& mUrids;
    std::vector<uint64_t> mSequence;
    std::vector<float> mLeft, mRight;
};

// A song's events at their frames (the time in seconds times the rate, rounded).
struct FramedEvent {
    long long frame;
    std::vector<uint8_t> bytes;
};

inline std::vector<FramedEvent> framedEvents(const MidiSong& song, double rate) {
    std::vector<FramedEvent> out;
    for (const MidiEvent& e : song.events) {
        const bool twoBytes = (e.status & 0xF0) == 0xC0 || (e.status & 0xF0) == 0xD0;
        std::vector<uint8_t> bytes{e.status, e.data1};
        if (!twoBytes) bytes.push_back(e.data2);
        out.push_back({std::llround(e.seconds * rate), bytes});
    }
    return out;
}

// Plays `frames` frames in host blocks of `block`, each event in the block that
// holds its frame; `beforeBlock(start)` may change the ports first.
template <class BeforeBlock>
Stereo play(Lv2Instance& inst, const std::vector<FramedEvent>& events, uint32_t block, long long frames,
            BeforeBlock beforeBlock) {
    Stereo out;
    out.left.reserve(size_t(frames));
    out.right.reserve(size_t(frames));
    size_t next = 0;
    for (long long start = 0; start < frames; start += block) {
        const uint32_t n = uint32_t(std::min<long long>(block, frames - start));
        beforeBlock(start);
        for (; next < events.size() && events[next].frame < start + n; ++next)
            inst.addEvent(events[next].frame - start, events[next].bytes);
        inst.run(n);
        out.left.insert(out.left.end(), inst.left(), inst.left() + n);
        out.right.insert(out.right.end(), inst.right(), inst.right() + n);
    }
    return out;
}

inline Stereo play(Lv2Instance& inst, const std::vector<FramedEvent>& events, uint32_t block, long long frames) {
    return play(inst, events, block, frames, [](long long) {});
}
