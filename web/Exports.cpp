// The functions the web page's scripts call in velmora.wasm (and in the panel's
// module, which holds the page's instance): a C interface over WebInstrument,
// one handle per instance. No exception leaves them: a failure is
// a status (memFullErr when memory ran out), a null handle or a NaN.
#include <cmath>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "WebExports.h"

namespace {

template <class F>
OSStatus guarded(F f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (...) {
        return -1;
    }
}

}  // namespace

VM_EXPORT(vm_alloc) void* vmAlloc(std::uint32_t bytes) { return ::operator new(bytes, std::nothrow); }
VM_EXPORT(vm_free) void vmFree(void* p) { ::operator delete(p); }

VM_EXPORT(vm_create) Handle* vmCreate(double sampleRate) {
    Handle* h = new (std::nothrow) Handle;
    if (h && guarded([&] { return h->instrument.open(sampleRate); }) != noErr) {
        delete h;
        h = nullptr;
    }
    return h;
}
VM_EXPORT(vm_destroy) void vmDestroy(Handle* h) { delete h; }

VM_EXPORT(vm_render) OSStatus vmRender(Handle* h) { return h->instrument.render(); }
VM_EXPORT(vm_output) float* vmOutput(Handle* h, std::uint32_t channel) { return h->instrument.output(channel); }

VM_EXPORT(vm_midi) OSStatus vmMidi(Handle* h, std::uint32_t status, std::uint32_t data1, std::uint32_t data2) {
    return h->instrument.driver().midi(UInt8(status), UInt8(data1), UInt8(data2), 0);
}
VM_EXPORT(vm_set_parameter) OSStatus vmSetParameter(Handle* h, std::uint32_t id, float value) {
    return guarded([&] { return h->instrument.driver().setParameter(id, value); });
}
VM_EXPORT(vm_get_parameter) float vmGetParameter(Handle* h, std::uint32_t id) {
    float value = NAN;
    if (guarded([&] { return h->instrument.driver().getParameter(id, value); }) != noErr) return NAN;
    return value;
}
VM_EXPORT(vm_select_preset) OSStatus vmSelectPreset(Handle* h, std::int32_t number) {
    return guarded([&] { return h->instrument.driver().selectPreset(number); });
}

VM_EXPORT(vm_play_song)
OSStatus vmPlaySong(Handle* h, const double* seconds, const std::uint8_t* bytes, std::uint32_t count) {
    return guarded([&] { return h->instrument.playSong(seconds, bytes, count); });
}
VM_EXPORT(vm_stop_song) OSStatus vmStopSong(Handle* h) { return h->instrument.stopSong(); }
VM_EXPORT(vm_song_playing) std::int32_t vmSongPlaying(Handle* h) { return h->instrument.songPlaying(); }
VM_EXPORT(vm_song_position) double vmSongPosition(Handle* h) { return double(h->instrument.songPosition()); }

// 1 when read (a cut file too: vm_message says where it ends), 0 when refused.
VM_EXPORT(vm_read_song)
std::int32_t vmReadSong(Handle* h, const char* name, const std::uint8_t* bytes, std::uint32_t length) {
    bool read = false;
    const OSStatus status = guarded([&] {
        read = h->instrument.readSong(name, {reinterpret_cast<const std::byte*>(bytes), length});
        return noErr;
    });
    return status == noErr && read;
}
VM_EXPORT(vm_song_count) std::uint32_t vmSongCount(Handle* h) {
    return std::uint32_t(h->instrument.songSeconds().size());
}
VM_EXPORT(vm_song_seconds) const double* vmSongSeconds(Handle* h) { return h->instrument.songSeconds().data(); }
VM_EXPORT(vm_song_bytes) const std::uint8_t* vmSongBytes(Handle* h) { return h->instrument.songBytes().data(); }
VM_EXPORT(vm_song_limit) double vmSongLimit(Handle* h, double sampleRate) {
    return h->instrument.songLimit(sampleRate);
}

VM_EXPORT(vm_describe) const char* vmDescribe(Handle* h) {
    if (guarded([&] { return h->instrument.describe(h->text); }) != noErr) return nullptr;
    return h->text.c_str();
}
VM_EXPORT(vm_preset_name) const char* vmPresetName(Handle* h) {
    if (guarded([&] { return h->instrument.presetName(h->text); }) != noErr) return nullptr;
    return h->text.c_str();
}
VM_EXPORT(vm_message) const char* vmMessage(Handle* h) { return h->instrument.message().c_str(); }

VM_EXPORT(vm_save_state) OSStatus vmSaveState(Handle* h) {
    return guarded([&] { return h->instrument.saveState(h->state); });
}
VM_EXPORT(vm_state_data) const std::uint8_t* vmStateData(Handle* h) { return h->state.data(); }
VM_EXPORT(vm_state_size) std::uint32_t vmStateSize(Handle* h) { return std::uint32_t(h->state.size()); }
VM_EXPORT(vm_restore_state) OSStatus vmRestoreState(Handle* h, const std::uint8_t* bytes, std::uint32_t length) {
    return guarded([&] { return h->instrument.restoreState({bytes, length}); });
}
