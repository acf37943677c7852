-- N moving 32x32 sprites, as bench/sprites.sh asks of every engine; prints the frame rate
-- after one second of warm-up. Usage: love bench/love N [seconds]
local W, H, SIDE = 1280, 720, 32
local count, seconds, image, quads
local clock, measure_from, frames = 0, nil, 0

function love.load(args)
  count = tonumber(args[1]) or 1000
  seconds = tonumber(args[2]) or 2
  local data = love.image.newImageData(SIDE, SIDE)
  data:mapPixel(function(x, y)
    if x == 0 or y == 0 or x == SIDE - 1 or y == SIDE - 1 then return 150 / 255, 70 / 255, 20 / 255, 1 end
    return 250 / 255, 150 / 255, 40 / 255, 1
  end)
  image = love.graphics.newImage(data)
  quads = {}
  for i = 0, count - 1 do
    local dx, dy = i % 7 - 3, i % 5 - 2
    if dx == 0 then dx = 2 end
    if dy == 0 then dy = 1 end
    quads[i + 1] = { x = (i * 37) % (W - SIDE), y = (i * 91) % (H - SIDE), dx = dx, dy = dy }
  end
end

function love.update(dt)
  for i = 1, count do
    local q = quads[i]
    q.x = q.x + q.dx
    q.y = q.y + q.dy
    if q.x < 0 or q.x > W - SIDE then q.dx = -q.dx end
    if q.y < 0 or q.y > H - SIDE then q.dy = -q.dy end
  end
  clock = clock + dt
  if not measure_from then
    if clock >= 1 then measure_from = love.timer.getTime() end
    return
  end
  frames = frames + 1
  local elapsed = love.timer.getTime() - measure_from
  if elapsed >= seconds then
    print(string.format("peer sprites %d fps %.1f", count, frames / elapsed))
    love.event.quit()
  end
end

function love.draw()
  love.graphics.clear(20 / 255, 24 / 255, 32 / 255)
  for i = 1, count do
    local q = quads[i]
    love.graphics.draw(image, q.x, q.y)
  end
end
