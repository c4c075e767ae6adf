-- Renders a mono WAV file through one plugin in Ardour, as ardour7-lua runs
-- it. Its values come in the environment (ardour7-lua reads arguments such
-- as -6 after the script as options of its own):
--   ZUL_SESSION_DIR, ZUL_SESSION_NAME  a session made by ardour7-new_session -m 1
--                                      (Lua's own sessions have a stereo master)
--   ZUL_INPUT                          a mono 32-bit float WAV file
--   ZUL_FRAMES                         its length in frames
--   ZUL_URI                            the plugin
--   ZUL_CONTROLS                       "N=VALUE,..." with N the control's number
--                                      among the plugin's control ports, from 0
--   ZUL_PRESET                         the export preset's id, in the user's
--                                      configuration (32-bit float, no dither,
--                                      no normalising, no trimming)
-- Writes export/zul.wav in the session: the master bus over the session range.
local function fail(message)
  io.stderr:write("render.lua: ", message, "\n")
  error(message)
end

-- data_at BYTES: where the samples of a WAV file start, from 1.
local function data_at(bytes)
  local at = 13
  while at + 8 <= #bytes do
    local id, size = bytes:sub(at, at + 3), string.unpack("<I4", bytes, at + 4)
    if id == "data" then return at + 8 end
    at = at + 8 + size + size % 2
  end
  fail("no data chunk")
end

local function slurp(path, mode)
  local file = io.open(path, mode) or fail("cannot open " .. path)
  return file, file:read("a")
end

local dir, name = os.getenv("ZUL_SESSION_DIR"), os.getenv("ZUL_SESSION_NAME")
local frames = tonumber(os.getenv("ZUL_FRAMES"))
local uri = os.getenv("ZUL_URI")
AudioEngine:set_backend("None (Dummy)", "", "")
if not load_session(dir, name) then fail("cannot load " .. dir) end

-- Lua cannot import a file: a bounce of the empty track gives a region and
-- a 32-bit float file of the right length, whose samples become the input's.
local track = Session:new_audio_track(1, 1, nil, 1, "input", ARDOUR.PresentationInfo.max_order,
  ARDOUR.TrackMode.Normal, true):front()
local region = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), track:main_outs(), false, "input")
if region:isnil() or region:length():samples() ~= frames then fail("the bounce failed") end
local path = region:source(0):to_filesource():path()
local _, input = slurp(os.getenv("ZUL_INPUT"), "rb")
local samples = input:sub(data_at(input), data_at(input) + 4 * frames - 1)
local file, bytes = slurp(path, "r+b")
if #samples ~= 4 * frames or #bytes - data_at(bytes) + 1 ~= 4 * frames then
  fail("the input and the bounce differ in length")
end
file:seek("set", data_at(bytes) - 1)
file:write(samples)
file:close()

-- Read back through Ardour, bit for bit.
local buffer = ARDOUR.DSP.DspShm(frames)
region:to_audioregion():to_readable():read(buffer:to_float(0), 0, frames, 0)
local read = buffer:to_float(0):array()
for i = 1, frames do
  if string.pack("<f", read[i]) ~= samples:sub(4 * i - 3, 4 * i) then
    fail("Ardour reads frame " .. (i - 1) .. " of the region as " .. read[i])
  end
end

-- The session range follows the region only when the command has this name.
local playlist = track:playlist()
Session:begin_reversible_command("insert region")
playlist:to_stateful():clear_changes()
playlist:add_region(region, Temporal.timepos_t(0), 1, false, 0, 0, false)
Session:add_stateful_diff_command(playlist:to_statefuldestructible())
Session:commit_reversible_command(nil)
local range = Session:locations():session_range_location()
if not range or range:_end():samples() ~= frames then fail("the session range is not the region") end

-- Regions fade in and out over 64 frames unless told not to.
Session:cfg():set_use_region_fades(false)
for r in playlist:region_list():iter() do
  r:to_audioregion():set_fade_in_active(false)
  r:to_audioregion():set_fade_out_active(false)
end

-- An unknown URI gives a nil processor and no message.
local plugin = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
if plugin:isnil() then fail("no plugin " .. uri) end
track:add_processor_by_index(plugin, 0, nil, true)
for number, value in string.gmatch(os.getenv("ZUL_CONTROLS") or "", "(%d+)=([^,]+)") do
  if not ARDOUR.LuaAPI.set_processor_param(plugin, tonumber(number), tonumber(value)) then
    fail("cannot set control " .. number .. " to " .. value)
  end
end

local export = Session:simple_export()
if not export:set_preset(os.getenv("ZUL_PRESET")) then fail("no export preset") end
export:set_name("zul")
export:set_folder(dir .. "/export")
export:set_range(0, frames)
if not export:run_export() then fail("the export failed") end
