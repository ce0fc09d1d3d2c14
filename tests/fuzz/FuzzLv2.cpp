// Fuzz target: the LV2 plug-in driven through its descriptor as a careless
// host would: any sample rate, ports connected, disconnected or never
// connected, control values of every kind, atom sequences well formed or made
// of raw bytes, blocks of any length, activate and deactivate in any order,
// and state save and restore with any value. Nothing may fault, and every run
// must leave finite samples in the outputs (VELMORA_FUZZ_FINITE=0 checks for
// faults only).
#include <fuzzer/FuzzedDataProvider.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Velmora/VelmoraParameters.h"
#include "plugins/lv2/VelmoraPorts.h"
#include "plugins/lv2/VelmoraUris.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool checkFinite() {
    static const bool check = [] {
        const char* v = std::getenv("VELMORA_FUZZ_FINITE");
        return !(v && v[0] == '0');
    }();
    return check;
}

std::vector<std::string>& uris() {
    static std::vector<std::string> list;
    return list;
}
LV2_URID map(LV2_URID_Map_Handle, const char* uri) {
    auto& list = uris();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == uri) return LV2_URID(i + 1);
    list.emplace_back(uri);
    return LV2_URID(list.size());
}

float pickValue(FuzzedDataProvider& in) {
    static constexpr float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::max(),
                                         -std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::denorm_min(),
                                         1e30f,
                                         -1e9f,
                                         -150,
                                         -1,
                                         -0.0f,
                                         0,
                                         0.5f,
                                         1,
                                         4,
                                         17,
                                         22,
                                         24,
                                         100,
                                         127,
                                         1000};
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: return in.PickValueInArray(kSpecial);
        case 1: return in.ConsumeFloatingPointInRange(-200.0f, 200.0f);
        default: {
            const uint32_t bits = in.ConsumeIntegral<uint32_t>();
            float v;
            std::memcpy(&v, &bits, 4);
            return v;
        }
    }
}

constexpr uint32_t kMaxFrames = 8192;
constexpr uint32_t kSequenceBytes = 4096;

struct Host {
    LV2_URID_Map urid{nullptr, map};
    LV2_Feature mapFeature{LV2_URID__map, &urid};
    float controls[kNumberOfParameters];
    std::vector<float> left = std::vector<float>(kMaxFrames), right = std::vector<float>(kMaxFrames);
    std::vector<uint64_t> sequence = std::vector<uint64_t>(kSequenceBytes / 8);
    std::vector<uint8_t> savedName;
    uint32_t savedType = 0;

    LV2_Atom_Sequence* seq() { return reinterpret_cast<LV2_Atom_Sequence*>(sequence.data()); }
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(sequence.data()); }
};

// A sequence of events, each MIDI or not, of any length, at any time; or raw bytes.
void fillSequence(Host& h, FuzzedDataProvider& in, uint32_t frames) {
    LV2_Atom_Sequence* s = h.seq();
    s->atom.type = in.ConsumeIntegralInRange(0, 15) ? map(nullptr, LV2_ATOM__Sequence) : in.ConsumeIntegral<uint32_t>();
    s->body.unit = in.ConsumeIntegralInRange(0, 3) ? 0 : in.ConsumeIntegral<uint32_t>();  // never read
    s->body.pad = 0;
    if (in.ConsumeIntegralInRange(0, 5) == 0) {  // raw bytes for the events, of a size the buffer holds
        const std::vector<uint8_t> raw =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, kSequenceBytes - sizeof(LV2_Atom_Sequence)));
        if (!raw.empty()) std::memcpy(h.bytes() + sizeof(LV2_Atom_Sequence), raw.data(), raw.size());
        s->atom.size = uint32_t(sizeof(LV2_Atom_Sequence_Body) + raw.size());
        return;
    }
    s->atom.size = sizeof(LV2_Atom_Sequence_Body);
    const int count = in.ConsumeIntegralInRange(0, 24);
    int64_t frame = 0;
    for (int i = 0; i < count; ++i) {
        if (in.ConsumeIntegralInRange(0, 7)) {
            const int64_t step = in.ConsumeIntegralInRange<int64_t>(0, frames / 4 + 1);
            frame = frame <= std::numeric_limits<int64_t>::max() - step ? frame + step : step;
        } else {
            frame = in.ConsumeIntegral<int64_t>();
        }
        const std::vector<uint8_t> body = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 7));
        LV2_Atom_Event header{};
        header.time.frames = frame;
        header.body.type =
            in.ConsumeIntegralInRange(0, 7) ? map(nullptr, LV2_MIDI__MidiEvent) : in.ConsumeIntegral<uint8_t>();
        header.body.size = uint32_t(body.size());
        const uint32_t used = uint32_t(sizeof(LV2_Atom)) + s->atom.size;
        const uint32_t total = lv2_atom_pad_size(uint32_t(sizeof header + body.size()));
        if (used + total > kSequenceBytes) break;
        std::memcpy(h.bytes() + used, &header, sizeof header);
        if (!body.empty()) std::memcpy(h.bytes() + used + sizeof header, body.data(), body.size());
        s->atom.size += total;
    }
}

LV2_State_Status store(LV2_State_Handle handle, uint32_t, const void* value, size_t size, uint32_t type, uint32_t) {
    auto* h = static_cast<Host*>(handle);
    const auto* bytes = static_cast<const uint8_t*>(value);
    h->savedName.assign(bytes, bytes + size);
    h->savedType = type;
    return LV2_STATE_SUCCESS;
}

struct Offer {
    std::vector<uint8_t> value;
    uint32_t type;
    bool present;
};
const void* retrieve(LV2_State_Handle handle, uint32_t, size_t* size, uint32_t* type, uint32_t* flags) {
    auto* o = static_cast<Offer*>(handle);
    *size = o->value.size();
    *type = o->type;
    *flags = LV2_STATE_IS_POD;
    return o->present ? o->value.data() : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const LV2_Descriptor* d = lv2_descriptor(0);
    if (!d || lv2_descriptor(1)) fail("one descriptor expected");
    static constexpr double kRates[] = {44100, 48000, 96000, 22050, 8000,
                                        1,     0,     -1,    1e12,  std::numeric_limits<double>::quiet_NaN()};
    const double rate =
        in.ConsumeIntegralInRange(0, 3) ? in.PickValueInArray(kRates) : in.ConsumeFloatingPointInRange(-1e6, 1e6);
    Host h;
    const LV2_Feature* withMap[] = {&h.mapFeature, nullptr};
    const LV2_Feature* without[] = {nullptr};
    const bool giveMap = in.ConsumeIntegralInRange(0, 15) != 0;
    LV2_Handle plugin = d->instantiate(d, rate, "/nowhere/", giveMap ? withMap : without);
    if (!plugin) {
        if (giveMap && rate >= 8000 && rate <= 192000) fail("no instance at an ordinary rate");
        return 0;
    }
    const auto* state = static_cast<const LV2_State_Interface*>(d->extension_data(LV2_STATE__interface));
    if (!state) fail("no state interface");

    bool connected[kFirstParameterPort + kNumberOfParameters] = {};
    auto connect = [&](uint32_t port, bool on) {
        void* buffer = nullptr;
        if (port == kMidiInPort)
            buffer = h.seq();
        else if (port == kFirstAudioOutPort)
            buffer = h.left.data();
        else if (port == kFirstAudioOutPort + 1)
            buffer = h.right.data();
        else if (port >= kFirstParameterPort && port < kFirstParameterPort + kNumberOfParameters)
            buffer = &h.controls[port - kFirstParameterPort];
        d->connect_port(plugin, port, on ? buffer : nullptr);
        if (port < std::size(connected)) connected[port] = on && buffer;
    };
    for (uint32_t id = 0; id < kNumberOfParameters; ++id) h.controls[id] = VelmoraParameterTable()[id].defaultValue;
    for (uint32_t port = 0; port < std::size(connected); ++port) connect(port, in.ConsumeIntegralInRange(0, 15) != 0);
    h.seq()->atom.type = map(nullptr, LV2_ATOM__Sequence);
    h.seq()->atom.size = sizeof(LV2_Atom_Sequence_Body);
    if (in.ConsumeIntegralInRange(0, 7)) d->activate(plugin);

    int runs = 0;
    while (in.remaining_bytes() > 0 && runs < 100) {
        switch (in.ConsumeIntegralInRange(0, 9)) {
            case 0:
            case 1: h.controls[in.ConsumeIntegralInRange<uint32_t>(0, kNumberOfParameters - 1)] = pickValue(in); break;
            case 2:
                connect(in.ConsumeIntegralInRange(0, 7)
                            ? in.ConsumeIntegralInRange<uint32_t>(0, std::size(connected) - 1)
                            : in.ConsumeIntegral<uint32_t>(),
                        in.ConsumeBool());
                break;
            case 3:
                if (in.ConsumeBool())
                    d->deactivate(plugin);
                else
                    d->activate(plugin);
                break;
            case 4: state->save(plugin, store, &h, LV2_STATE_IS_POD, nullptr); break;
            case 5: {  // restore what was saved, or anything else
                Offer offer{h.savedName, h.savedType, in.ConsumeIntegralInRange(0, 7) != 0};
                if (in.ConsumeBool()) {
                    offer.value = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 80));
                    offer.type = in.ConsumeBool() ? map(nullptr, LV2_ATOM__String) : in.ConsumeIntegral<uint8_t>();
                }
                state->restore(plugin, retrieve, &offer, 0, nullptr);
                break;
            }
            default: {
                const uint32_t frames = in.ConsumeIntegralInRange(0, 3)
                                            ? in.PickValueInArray({64u, 512u, 1000u, 0u})
                                            : in.ConsumeIntegralInRange<uint32_t>(0, kMaxFrames);
                fillSequence(h, in, frames);
                std::fill(h.left.begin(), h.left.end(), 7.0f);
                std::fill(h.right.begin(), h.right.end(), 7.0f);
                d->run(plugin, frames);
                ++runs;
                if (!checkFinite()) break;
                for (uint32_t i = 0; i < frames; ++i)
                    if ((connected[kFirstAudioOutPort] && !std::isfinite(h.left[i])) ||
                        (connected[kFirstAudioOutPort + 1] && !std::isfinite(h.right[i])))
                        fail("non-finite output (VELMORA_FUZZ_FINITE=0 checks for faults only)");
                break;
            }
        }
    }
    d->cleanup(plugin);
    return 0;
}
