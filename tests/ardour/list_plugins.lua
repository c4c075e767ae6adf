-- Lists the LV2 plugins that Ardour can use, one "lv2 URI" a line, as
-- ardour7-lua runs it: on the dummy backend, which must be running before
-- the list is asked for (it crashes otherwise).
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start(false)
for info in ARDOUR.LuaAPI.list_plugins():iter() do
  if info.type == ARDOUR.PluginType.LV2 then
    print("lv2 " .. info.unique_id)
  end
end
AudioEngine:stop(false)
