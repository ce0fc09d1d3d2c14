-- How long adding a MIDI track with an instrument takes in Ardour (the track,
-- the plug-in's instantiate and activate), and then until its first process
-- cycle has run, for each URI given, in order, in one new session:
--     LV2_PATH=build/lv2:/usr/lib/lv2 ardour7-lua bench/ardour/track-time.lua /tmp/timing \
--         urn:velmora:instrument urn:velmora:instrument https://community.ardour.org/node/7596
-- (the last is Ardour's own Reasonable Synth). FOLDER must not exist yet.
-- The first cycle waits for the engine: up to two periods of 1024 frames.
local session = create_session(arg[1], "timing", 44100)
assert(session, "cannot create the session")
for i = 2, #arg do
    local info = ARDOUR.LuaAPI.new_plugin_info(arg[i], ARDOUR.PluginType.LV2)
    assert(not info:isnil(), "no plug-in " .. arg[i])
    local start = ARDOUR.LuaAPI.monotonic_time()
    local tracks = session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
                                          ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, info, nil, nil, 1,
                                          "T" .. i, ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
    local created = ARDOUR.LuaAPI.monotonic_time()
    ARDOUR.LuaAPI.wait_for_process_callback(1, 2000)
    local played = ARDOUR.LuaAPI.monotonic_time()
    print(string.format("%-40s track %.1f ms, then first cycle %.1f ms", info.name .. " (" .. arg[i] .. ")",
                        (created - start) / 1000, (played - created) / 1000))
end
session = nil  -- no reference may outlive the session: collected after it, it would free freed memory
collectgarbage()
collectgarbage()
close_session()
