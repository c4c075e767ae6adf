-- Renders files through plugins in Ardour, as ardour7-lua runs it: each
-- plugin on a track of its own, the track bounced at the plugin, so that
-- every output is written as the plugin made it (before the panner and the
-- master bus). Its values come in the environment (ardour7-lua reads
-- arguments such as -6 after the script as options of its own):
--   ZUL_SESSION_DIR, ZUL_SESSION_NAME  a session made by ardour7-new_session
--   ZUL_ROWS  a file of rows "URI CHANNELS STRICT FRAMES CONTROLS OUTPUTS
--             OUT INPUT...": the track's channels, strict I/O (1 or 0),
--             the length in frames, the controls ("N=VALUE,..." with N the
--             control's number among the plugin's control ports, from 0;
--             '-' for none), then the mono 32-bit float WAV files that the
--             track's channels hold, in order (fewer: silence); OUTPUTS and
--             OUT are the caller's
-- Prints "lv2 URI" for each LV2 plugin Ardour can use, then "bounce ROW
-- CHANNEL FILE" for each stream of each row's bounce (rows from 1).
local function fail(message)
  io.stderr:write("bounce.lua: ", message, "\n")
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

-- fill SOURCE INPUT FRAMES: the samples of the file INPUT written over those
-- of the region's SOURCE, bit for bit.
local function fill(source, input, frames)
  local _, bytes_in = slurp(input, "rb")
  local samples = bytes_in:sub(data_at(bytes_in), data_at(bytes_in) + 4 * frames - 1)
  local file, bytes = slurp(source:to_filesource():path(), "r+b")
  if #samples ~= 4 * frames or #bytes - data_at(bytes) + 1 ~= 4 * frames then
    fail(input .. " and the track's file differ in length")
  end
  file:seek("set", data_at(bytes) - 1)
  file:write(samples)
  file:close()
end

AudioEngine:set_backend("None (Dummy)", "", "")
local dir, name = os.getenv("ZUL_SESSION_DIR"), os.getenv("ZUL_SESSION_NAME")
if not load_session(dir, name) then fail("cannot load " .. dir) end

for info in ARDOUR.LuaAPI.list_plugins():iter() do
  if info.type == ARDOUR.PluginType.LV2 then print("lv2 " .. info.unique_id) end
end

local row = 0
for line in io.lines(os.getenv("ZUL_ROWS")) do
  local word = {}
  for w in line:gmatch("%S+") do word[#word + 1] = w end
  local uri, channels, frames = word[1], tonumber(word[2]), tonumber(word[4])
  row = row + 1
  local track = Session:new_audio_track(channels, channels, nil, 1, "row " .. row,
    ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()

  -- Lua cannot import a file: a bounce of the empty track gives a region
  -- of the track's channels and the right length, whose files then take
  -- the inputs' samples.
  local region = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), track:main_outs(), false,
    "in" .. row)
  if region:isnil() or region:length():samples() ~= frames then fail("row " .. row .. ": no region") end
  for c = 0, region:to_audioregion():n_channels() - 1 do
    if word[8 + c] then fill(region:source(c), word[8 + c], frames) end
  end
  region:to_audioregion():set_fade_in_active(false)  -- 64 frames unless told
  region:to_audioregion():set_fade_out_active(false)
  track:playlist():add_region(region, Temporal.timepos_t(0), 1, false, 0, 0, false)

  -- An unknown URI gives a nil processor and no message.
  local plugin = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
  if plugin:isnil() then fail("no plugin " .. uri) end
  track:set_strict_io(word[3] == "1")
  track:add_processor_by_index(plugin, 0, nil, true)
  for number, value in string.gmatch(word[5], "(%d+)=([^,]+)") do
    if not ARDOUR.LuaAPI.set_processor_param(plugin, tonumber(number), tonumber(value)) then
      fail("cannot set control " .. number .. " to " .. value)
    end
  end

  -- A nil endpoint crashes Ardour: the plugin is always given.
  local out = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), plugin, true, "out" .. row)
  if out:isnil() or out:length():samples() ~= frames then fail("row " .. row .. ": the bounce failed") end
  for c = 0, out:to_audioregion():n_channels() - 1 do
    print("bounce " .. row .. " " .. c .. " " .. out:source(c):to_filesource():path())
  end
end
