// velmora_lv2_first BUNDLE_DIR: what the first instance of a process costs a host that
// loads the LV2 plug-in through lilv: loading the bundle's descriptions, instantiating
// (the library's load included), activating, and the first run of 64 frames with a
// note. One line per step, wall and thread CPU milliseconds; run it in a fresh process.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "plugins/lv2/VelmoraPorts.h"
#include "plugins/lv2/VelmoraUris.h"

namespace {

std::vector<std::string> gUris;

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    for (size_t i = 0; i < gUris.size(); ++i)
        if (gUris[i] == uri) return LV2_URID(i + 1);
    gUris.emplace_back(uri);
    return LV2_URID(gUris.size());
}

double seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Stopwatch {
    double wall = seconds(CLOCK_MONOTONIC), cpu = seconds(CLOCK_THREAD_CPUTIME_ID);
    void lap(const char* step) {
        const double w = seconds(CLOCK_MONOTONIC), c = seconds(CLOCK_THREAD_CPUTIME_ID);
        std::printf("%-12s wall %8.3f ms  cpu %8.3f ms\n", step, (w - wall) * 1e3, (c - cpu) * 1e3);
        wall = w;
        cpu = c;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_lv2_first BUNDLE_DIR\n");
        return 2;
    }
    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    constexpr uint32_t kFrames = 64;
    static float left[kFrames], right[kFrames];
    alignas(8) static uint8_t sequence[256];

    Stopwatch total, step;
    LilvWorld* world = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, (std::string(argv[1]) + "/").c_str());
    lilv_world_load_bundle(world, bundle);
    LilvNode* uri = lilv_new_uri(world, kPluginURI);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    if (!plugin) {
        std::fprintf(stderr, "velmora_lv2_first: no %s in %s\n", kPluginURI, argv[1]);
        return 1;
    }
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<float> defaults(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    step.lap("describe");

    LilvInstance* instance = lilv_plugin_instantiate(plugin, 44100.0, features);
    if (!instance) {
        std::fprintf(stderr, "velmora_lv2_first: instantiate failed\n");
        return 1;
    }
    step.lap("instantiate");

    // The control ports read their defaults from `defaults` itself.
    for (uint32_t port = kFirstParameterPort; port < ports; ++port)
        lilv_instance_connect_port(instance, port, &defaults[port]);
    lilv_instance_connect_port(instance, kFirstAudioOutPort, left);
    lilv_instance_connect_port(instance, kFirstAudioOutPort + 1, right);
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence);
    seq->atom.type = mapUri(nullptr, LV2_ATOM__Sequence);
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body) + sizeof(LV2_Atom_Event) + 8;
    auto* event = reinterpret_cast<LV2_Atom_Event*>(seq + 1);
    event->time.frames = 0;
    event->body.type = mapUri(nullptr, LV2_MIDI__MidiEvent);
    event->body.size = 3;
    const uint8_t noteOn[3] = {0x90, 60, 100};
    std::memcpy(event + 1, noteOn, sizeof noteOn);
    lilv_instance_connect_port(instance, kMidiInPort, seq);
    lilv_instance_activate(instance);
    step.lap("activate");

    lilv_instance_run(instance, kFrames);
    step.lap("first run");
    total.lap("total");
    // The note sounds within a few blocks: the instance played.
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
    float peak = 0;
    for (int block = 0; block < 64; ++block) {
        lilv_instance_run(instance, kFrames);
        for (float s : left) peak = std::max(peak, std::fabs(s));
    }
    std::printf("peak of the first 64 blocks after it %.4f\n", double(peak));

    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    lilv_node_free(uri);
    lilv_node_free(bundle);
    lilv_world_free(world);
    return 0;
}
