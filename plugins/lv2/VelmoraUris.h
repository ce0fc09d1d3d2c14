// The plug-in's names in RDF: the plugin, its UI, its presets and its one state key.
#pragma once

inline constexpr char kPluginURI[] = "urn:velmora:instrument";
inline constexpr char kPluginUiURI[] = "urn:velmora:instrument#ui";
// Factory preset N is kPresetURIPrefix followed by N in two digits.
inline constexpr char kPresetURIPrefix[] = "urn:velmora:instrument:preset:";
// The name of the current settings record, an atom:String.
inline constexpr char kPresetNameURI[] = "urn:velmora:instrument#presetName";
