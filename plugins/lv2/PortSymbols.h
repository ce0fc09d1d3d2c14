// The control ports' symbols, by parameter ID. Made once from the parameter names
// (lower case, apostrophes dropped, every other run of non-alphanumerics as "_") and
// frozen since: sessions and presets in hosts name ports by symbol, so a renamed
// parameter keeps its symbol here and a new parameter gets a new line.
#pragma once

// clang-format off
inline constexpr const char* kPortSymbols[] = {
    "volume", "routing", "mixmode", "trigger", "glide", "pitchbend_up", "pitchbend_down", "osc1_wave",
    "osc1_tune", "osc1_tmodsrc", "osc1_tmoddpth", "osc1_mology", "osc1_mmodsrc", "osc1_mmoddpth", "osc1_vari",
    "osc1_vmodsrc", "osc1_vmoddpth", "osc2_wave", "osc2_tune", "osc2_tmodsrc", "osc2_tmoddpth", "osc2_mology",
    "osc2_mmodsrc", "osc2_mmoddpth", "osc2_vari", "osc2_vmodsrc", "osc2_vmoddpth", "noisetype", "noisegain",
    "noisepan", "noisegainmsrc", "noisegainmdpth", "noisepanmsrc", "noisepanmdpth", "osc1_gain", "osc2_gain",
    "osc1_gainmsrc", "osc1_gainmdpth", "osc2_gainmsrc", "osc2_gainmdpth", "rumblea_type", "rumblea_depth",
    "rumblea_modsrc", "rumblea_moddpth", "rumbleb_type", "rumbleb_depth", "rumbleb_modsrc", "rumbleb_moddpth",
    "filtera_type", "filtera_fc", "filtera_fq", "filtera_p2", "filta_keyfollow", "filtera_fsrc",
    "filtera_fdpth", "filterb_type", "filterb_fc", "filterb_fq", "filterb_p2", "filtb_keyfollow",
    "filterb_fsrc", "filterb_fdpth", "a1", "d1", "s1", "r1", "vel2vol", "a2", "d2", "s2", "r2", "vel2env2",
    "a3", "d3", "s3", "r3", "vel2env3", "lfo1_wave", "lfo1_mode", "lfo1_speed", "lfo1_inphase",
    "lfo1_smodsrc", "lfo1_smoddpth", "lfo1_vmodsrc", "lfo1_vmoddpth", "lfo2_wave", "lfo2_mode", "lfo2_speed",
    "lfo2_inphase", "lfo2_smodsrc", "lfo2_smoddpth", "lfo2_vmodsrc", "lfo2_vmoddpth", "multia_s1",
    "multia_mode", "multia_s2", "multib_s1", "multib_mode", "multib_s2", "quality", "accuracy",
    "spectral_dense",
};
// clang-format on
