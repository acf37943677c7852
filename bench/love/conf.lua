-- The peer engine's side of bench/sprites.sh: no vsync, so that it shows what it can draw.
function love.conf(t)
  t.window.width = 1280
  t.window.height = 720
  t.window.vsync = 0
  t.modules.audio = false
  t.modules.sound = false
end
