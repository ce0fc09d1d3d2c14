-- A new session at 44.1 kHz with one MIDI track playing Velmora, optionally
-- a factory preset and one changed control, saved and closed.
--     ardour7-lua create.lua FOLDER NAME [PRESET_URI [ID=VALUE]]
-- Prints "control ID VALUE" for every control, then "saved" and "closed".
local folder, name, preset, change = arg[1], arg[2], arg[3] or "", arg[4] or ""

local function say(line)
    print(line)
    io.stdout:flush()
end

local session = create_session(folder, name, 44100)
assert(session, "cannot create the session")

local info = ARDOUR.LuaAPI.new_plugin_info("urn:velmora:instrument", ARDOUR.PluginType.LV2)
assert(not info:isnil(), "Velmora is not among the LV2 plug-ins")
local tracks = session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
                                      ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, info, nil, nil, 1,
                                      "Velmora", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
assert(tracks:size() == 1, "no track")
local insert = tracks:front():nth_plugin(0)
local plugin = insert:to_insert():plugin(0)

if preset ~= "" then
    local record = plugin:preset_by_uri(preset)
    assert(record and record.valid, "no preset " .. preset)
    assert(plugin:load_preset(record), "cannot load " .. preset)
end
if change ~= "" then
    local id, value = change:match("^(%d+)=(.+)$")
    assert(ARDOUR.LuaAPI.set_processor_param(insert, tonumber(id), tonumber(value)), "cannot set " .. change)
end

-- The plug-in's controls are all inputs, numbered as the instrument's parameter IDs.
for id = 0, plugin:parameter_count() - 1 do
    local value, refs = ARDOUR.LuaAPI.get_processor_param(insert, id, true)
    if refs[3] then say(string.format("control %d %.9g", id, value)) end
end

session:save_state("", false, false, false, false, false)
say("saved")
-- Lua's references to the session's objects must go before the session: the
-- collector would otherwise destroy them after it, in freed memory.
session, tracks, insert, plugin = nil, nil, nil, nil
collectgarbage()
collectgarbage()
close_session()
say("closed")
