-- The peer engine's side of bench/sprites.sh and bench/labels.sh, the same workload as the
-- runtime's: N moving 32x32 sprites, or N moving labels of 15 characters in a TTF font at 22
-- pixels (its first frame looked at: no figure without the labels' colour). Prints the frame
-- rate after one second of warm-up.
-- Usage: love bench/love N [seconds]  |  love bench/love labels N seconds FONT
local W, H, SIDE = 1280, 720, 32
local labels_mode, count, seconds, image, font, items
local clock, measure_from, frames, looked = 0, nil, 0, false

-- Positions and velocities of item i, as the runtime's benchmark games lay them out.
local function place(i, width, height, top)
  local dx, dy = i % 7 - 3, i % 5 - 2
  if dx == 0 then dx = 2 end
  if dy == 0 then dy = 1 end
  return { x = (i * 37) % width, y = top + (i * 91) % (height - top), dx = dx, dy = dy }
end

function love.load(args)
  labels_mode = args[1] == "labels"
  local first = labels_mode and 2 or 1
  count = tonumber(args[first]) or 1000
  seconds = tonumber(args[first + 1]) or 2
  items = {}
  if labels_mode then
    W, H = 1280 - 180, 720 - 10
    local file = assert(io.open(args[first + 2] or "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "rb"))
    local bytes = file:read("*a")
    file:close()
    font = love.graphics.newFont(love.filesystem.newFileData(bytes, "font.ttf"), 22)
    love.graphics.setFont(font)
    for i = 0, count - 1 do
      items[i + 1] = place(i, W, H, 30)
      items[i + 1].text = string.format("label no %06d", i)
    end
    return
  end
  local data = love.image.newImageData(SIDE, SIDE)
  data:mapPixel(function(x, y)
    if x == 0 or y == 0 or x == SIDE - 1 or y == SIDE - 1 then return 150 / 255, 70 / 255, 20 / 255, 1 end
    return 250 / 255, 150 / 255, 40 / 255, 1
  end)
  image = love.graphics.newImage(data)
  for i = 0, count - 1 do items[i + 1] = place(i, W - SIDE, H - SIDE, 0) end
end

function love.update(dt)
  local right, low, high = W - SIDE, 0, H - SIDE
  if labels_mode then right, low, high = W, 30, H end
  for i = 1, count do
    local q = items[i]
    q.x = q.x + q.dx
    q.y = q.y + q.dy
    if q.x < 0 or q.x > right then q.dx = -q.dx end
    if q.y < low or q.y > high then q.dy = -q.dy end
  end
  clock = clock + dt
  if not measure_from then
    if clock >= 1 then measure_from = love.timer.getTime() end
    return
  end
  frames = frames + 1
  local elapsed = love.timer.getTime() - measure_from
  if elapsed >= seconds then
    print(string.format("peer %s %d fps %.1f", labels_mode and "labels" or "sprites", count, frames / elapsed))
    love.event.quit()
  end
end

-- The labels' colour in at least 200 of every fourth pixel, or no figure.
local function look(picture)
  local seen = 0
  for y = 0, picture:getHeight() - 1, 2 do
    for x = 0, picture:getWidth() - 1, 2 do
      local r, g, b = picture:getPixel(x, y)
      if math.abs(r * 255 - 250) <= 2 and math.abs(g * 255 - 150) <= 2 and math.abs(b * 255 - 40) <= 2 then
        seen = seen + 1
      end
    end
  end
  if seen < 200 then
    print(string.format("peer labels %d no-colour", count))
    love.event.quit()
  end
end

function love.draw()
  love.graphics.clear(20 / 255, 24 / 255, 32 / 255)
  if not labels_mode then
    for i = 1, count do love.graphics.draw(image, items[i].x, items[i].y) end
    return
  end
  love.graphics.setColor(250 / 255, 150 / 255, 40 / 255, 1)
  for i = 1, count do love.graphics.print(items[i].text, items[i].x, 720 - items[i].y) end
  if not looked then
    looked = true
    love.graphics.captureScreenshot(look)
  end
end
