# A tour of drawing: run it, look at the window, then read this file from the top.
#
#   ./zintarel examples/drawing                   origin at the bottom left (the default)
#   ./zintarel examples/drawing --origin center   origin at the centre of the window
#
# Coordinates are in a 1280 x 720 space with y growing upward. Each frame the game puts
# what it wants drawn into args.outputs; the collections are emptied after every frame.
# At tick 30 the game saves the window as screenshots/drawing.png (or drawing-center.png)
# in the game folder.

def tick args
  # Ask for a centred origin once: (0, 0) is then the middle of the window.
  args.grid.origin_center! if args.tick_count == 0 && $zoq.cli_arguments[:origin] == "center"

  args.outputs.background_color = [40, 40, 80]

  # Solids: a Hash names its fields, an Array gives them by position (x, y, w, h, r, g, b).
  args.outputs.solids << { x: 100, y: 100, w: 100, h: 100, r: 255, g: 0, b: 0 }
  args.outputs.solids << [300, 100, 100, 100, 0, 255, 0]

  # A sprite from a file in the game folder, stretched to 100 x 100.
  args.outputs.sprites << { x: 500, y: 100, w: 100, h: 100, path: "sprites/blue.png" }

  # A sprite from pixels computed here: a 2 x 1 picture, yellow then magenta (each pixel
  # is 0xAABBGGRR), drawn flipped so that magenta comes first.
  picture = args.pixel_array(:two_colours)
  picture.width = 2
  picture.height = 1
  picture.pixels = [0xFF00FFFF, 0xFFFF00FF]
  args.outputs.sprites << { x: 700, y: 100, w: 200, h: 100, path: :two_colours, flip_horizontally: true }

  # A render target: drawn into first, then used as a sprite by its name. Its own
  # coordinates start at its bottom left corner too.
  panel = args.outputs[:panel]
  panel.width = 100
  panel.height = 100
  panel.background_color = [0, 255, 255]
  panel.solids << { x: 0, y: 0, w: 50, h: 50, r: 255, g: 128, b: 0 }
  args.outputs.sprites << { x: 1000, y: 100, w: 100, h: 100, path: :panel }

  # Text, and a line.
  args.outputs.labels << { x: 100, y: 400, text: "Hello from Zintarel", size_enum: 10, r: 255, g: 255, b: 255 }
  args.outputs.lines << { x: 100, y: 600, x2: 400, y2: 600, r: 255, g: 255, b: 0 }

  # Debug output is drawn while developing and left out of production builds.
  args.outputs.debug << { x: 100, y: 500, w: 50, h: 50, r: 255, g: 255, b: 255, primitive_marker: :solid }

  if args.tick_count == 30
    name = args.grid.name == :center ? "drawing-center" : "drawing"
    # The region goes through the grid like everything else: start at its bottom left.
    args.outputs.screenshots << { x: args.grid.left, y: args.grid.bottom, w: 1280, h: 720, path: "screenshots/#{name}.png" }
  end
  if args.tick_count >= 30
    args.outputs.labels << { x: 700, y: 400, text: "Screenshot saved in the game folder.", r: 200, g: 200, b: 200 }
  end
end
