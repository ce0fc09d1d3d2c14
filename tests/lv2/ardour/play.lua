-- Opens a session made by create.lua in blocks of BLOCK frames, lists the
-- controls as restored, saves the session again, exports frames [0, FRAMES) of
-- the master bus as float WAV with the export preset of the given ID, and
-- closes the session. (Saving comes first: Ardour 7.3 sometimes crashes in
-- whatever follows an export.)
--     ardour7-lua play.lua FOLDER NAME OUT_FOLDER OUT_NAME FRAMES EXPORT_PRESET_ID BLOCK
-- Prints "block N", "control ID VALUE" for every control, then "saved",
-- "exported" and "closed" as each step is done.
local folder, name, outFolder, outName = arg[1], arg[2], arg[3], arg[4]
local frames, exportPreset, block = tonumber(arg[5]), arg[6], tonumber(arg[7])

local function say(line)
    print(line)
    io.stdout:flush()
end

-- The engine keeps the buffer size it is given before the session starts it.
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
assert(AudioEngine:set_buffer_size(block) == 0, "cannot set the buffer size")
local session = load_session(folder, name)
assert(session, "cannot open the session")
say("block " .. session:get_block_size())

local track = session:route_by_name("Velmora")
assert(not track:isnil(), "no Velmora track")
local insert = track:nth_plugin(0)
local plugin = insert:to_insert():plugin(0)
for id = 0, plugin:parameter_count() - 1 do
    local value, refs = ARDOUR.LuaAPI.get_processor_param(insert, id, true)
    if refs[3] then say(string.format("control %d %.9g", id, value)) end
end

session:save_state("", false, false, false, false, false)
say("saved")

-- The master bus feeds the Dummy's playback ports, whose latency would make the
-- export begin with a partial cycle; unconnected, the bus has none, and every
-- cycle of the export is a whole engine block from frame 0.
session:master_out():output():disconnect_all(nil)
ARDOUR.LuaAPI.usleep(200000)
assert(session:worst_output_latency() == 0, "output latency " .. session:worst_output_latency())

local export = session:simple_export()
export:set_folder(outFolder)
export:set_name(outName)
export:set_range(0, frames)
assert(export:set_preset(exportPreset), "no export preset " .. exportPreset)
assert(export:run_export(), "the export failed")
say("exported")
-- Lua's references to the session's objects must go before the session: the
-- collector would otherwise destroy them after it, in freed memory.
session, track, insert, plugin, export = nil, nil, nil, nil, nil
collectgarbage()
collectgarbage()
close_session()
say("closed")
