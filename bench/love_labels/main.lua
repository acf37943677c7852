-- N moving labels of 15 characters in DejaVu Sans at 22 pixels, as bench/labels.sh asks of
-- every engine; looks at its first frame (no figure without the labels' colour), then prints
-- the frame rate after one second of warm-up. Usage: love bench/love_labels N seconds FONT
local W, H = 1280 - 180, 720 - 10
local count, seconds, font, labels
local clock, measure_from, frames, looked = 0, nil, 0, false

function love.load(args)
  count = tonumber(args[1]) or 1000
  seconds = tonumber(args[2]) or 2
  local file = assert(io.open(args[3] or "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "rb"))
  local bytes = file:read("*a")
  file:close()
  font = love.graphics.newFont(love.filesystem.newFileData(bytes, "font.ttf"), 22)
  love.graphics.setFont(font)
  labels = {}
  for i = 0, count - 1 do
    local dx, dy = i % 7 - 3, i % 5 - 2
    if dx == 0 then dx = 2 end
    if dy == 0 then dy = 1 end
    labels[i + 1] = { x = (i * 37) % W, y = 30 + (i * 91) % (H - 30), dx = dx, dy = dy,
                      text = string.format("label no %06d", i) }
  end
end

function love.update(dt)
  for i = 1, count do
    local l = labels[i]
    l.x = l.x + l.dx
    l.y = l.y + l.dy
    if l.x < 0 or l.x > W then l.dx = -l.dx end
    if l.y < 30 or l.y > H then l.dy = -l.dy end
  end
  clock = clock + dt
  if not measure_from then
    if clock >= 1 then measure_from = love.timer.getTime() end
    return
  end
  frames = frames + 1
  local elapsed = love.timer.getTime() - measure_from
  if elapsed >= seconds then
    print(string.format("peer labels %d fps %.1f", count, frames / elapsed))
    love.event.quit()
  end
end

function love.draw()
  love.graphics.clear(20 / 255, 24 / 255, 32 / 255)
  love.graphics.setColor(250 / 255, 150 / 255, 40 / 255, 1)
  for i = 1, count do
    local l = labels[i]
    love.graphics.print(l.text, l.x, 720 - l.y)
  end
  if not looked then
    looked = true
    love.graphics.captureScreenshot(function(image)
      local seen = 0
      for y = 0, image:getHeight() - 1, 2 do
        for x = 0, image:getWidth() - 1, 2 do
          local r, g, b = image:getPixel(x, y)
          if math.abs(r * 255 - 250) <= 2 and math.abs(g * 255 - 150) <= 2 and math.abs(b * 255 - 40) <= 2 then
            seen = seen + 1
          end
        end
      end
      if seen < 200 then
        print(string.format("peer labels %d no-colour", count))
        love.event.quit()
      end
    end)
  end
end
