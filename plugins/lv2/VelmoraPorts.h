// The plugin's port order: the MIDI input, the two audio outputs, then one
// control port per parameter in ID order.
#pragma once
#include <cstdint>

constexpr uint32_t kMidiInPort = 0;
constexpr uint32_t kFirstAudioOutPort = 1;
constexpr uint32_t kFirstParameterPort = 3;
