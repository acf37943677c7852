module ZOQ
  # A picture the game computes each frame and then names as a sprite path: width x height
  # Integers, rows top first, each pixel 0xAABBGGRR. Uploaded after the tick when the pixels
  # fill the size exactly.
  class PixelArray
    attr_accessor :width, :height, :pixels

    def initialize
      @width = 0
      @height = 0
      @pixels = []
    end
  end

  module ArgsDocs
    def docs_method_sort_order
      [:docs_audio]
    end

    def docs_api_summary
      <<-HEREDOC
* DOCS: ~ZOQ::Args~ API summary
~args~ is handed to your ~tick~ method every frame:
- ~args.state~: your game's state; set any property on it (~args.state.score ||= 0~).
- ~args.inputs~: ~keyboard~, ~mouse~, ~controller_one~, ~controller_two~ and ~touch~.
- ~args.outputs~: ~solids~, ~sprites~, ~labels~, ~lines~, ~borders~ and ~primitives~
  (each also as a ~static_~ collection that is kept between frames).
- ~args.render_target(:name)~: an extra output drawn to a texture called :name.
- ~args.audio~: the sounds that are playing (see ~docs_audio~).
- ~args.grid~ and ~args.layout~: the screen's coordinates and a layout grid.
- ~args.geometry~ and ~args.easing~: geometry helpers and easing functions.
- ~args.tick_count~: the number of the current tick (0 in the first tick).
- ~args.zoq~: the runtime (see ~ZOQ::Runtime.docs~).
HEREDOC
    end

    def docs_audio
      <<-HEREDOC
* DOCS: ~ZOQ::Args#audio~
~args.audio~ is a Hash of the sounds that are playing, one key per sound. Add an
entry to play a sound, change it to move or pause it, and delete it to stop it.
#+begin_src
  def tick args
    if args.inputs.keyboard.key_down.space
      args.audio[:jump] = { input: "sounds/jump.wav", gain: 0.5 }
    end
    args.audio[:music] ||= { input: "sounds/music.ogg", looping: true }
    args.audio[:music][:paused] = args.state.paused
  end
#+end_src
The keys of an entry: ~input~ (the path of a WAV or Ogg Vorbis file, or
[channels, frequency, samples] for generated sound), ~gain~ (volume, 1.0 by
default), ~pitch~ (1.0 is normal), ~looping~, ~paused~, and ~x~, ~y~ and ~z~ (the
position).
HEREDOC
    end
  end

  # What the game's tick receives: input, output collections, render targets, pixel
  # arrays, the audio hash, the state, the grid and layout, and the runtime itself.
  class Args
    include ArgsDeprecated
    include ZOQ::Serialize
    extend Docs
    extend ArgsDocs

    attr_accessor :inputs, :outputs, :audio, :passes, :runtime, :recording, :grid, :geometry, :wizards,
                  :layout, :easing, :string
    attr_reader :state

    def initialize runtime, recording
      @inputs = ZOQ::Inputs.new
      @outputs = ZOQ::Outputs.new(args: self)
      @audio = {}
      @passes = []
      @state = ZOQ::OpenEntity.new
      @state.tick_count = -1
      @runtime = runtime
      @recording = recording
      @grid = ZOQ::Grid.new(runtime)
      @render_targets = {}
      @pixel_arrays = {}
      @geometry = ZOQ::Geometry
      @wizards = ZOQ::Wizards.new
      @layout = ZOQ::Layout.new(@grid.w, @grid.h)
      @easing = ZOQ::Easing
      @string = String
    end

    # $state follows the state it was pointing at when the game replaces it; the nil
    # coercion, bound to the old state, ends with it.
    def state= value
      NilClassFalseClass.release! unless value.equal?(@state)
      $state = value if $state.equal?(@state)
      @state = value
    end

    def zoq
      @runtime
    end

    def tick_count
      @state.tick_count
    end

    def tick_count= value
      @state.tick_count = value
    end

    def serialize
      {
        state: @state.as_hash,
        inputs: @inputs.serialize,
        passes: @passes.map { |pass| pass.serialize },
        outputs: @outputs.serialize,
        grid: @grid.serialize
      }
    end

    def inspect
      serialize.to_s
    end

    def to_s
      inspect
    end

    def destructure
      [@grid, @inputs, @state, @outputs, @runtime, @passes]
    end

    def render_target name
      key = name.to_s
      pass = @render_targets[key]
      return pass if pass
      pass = ZOQ::Outputs.new(args: self, target: name, background_color_override: [255, 255, 255, 0])
      @render_targets[key] = pass
      @passes << pass
      pass
    end

    def render_targets
      @render_targets
    end

    def clear_render_targets
      @render_targets = {}
    end

    def render_targets_clear
      clear_render_targets
    end

    def pixel_array name
      @pixel_arrays[name.to_s] ||= ZOQ::PixelArray.new
    end

    def pixel_arrays
      @pixel_arrays
    end

    def clear_pixel_arrays
      @pixel_arrays = {}
    end

    def pixel_arrays_clear
      clear_pixel_arrays
    end

    def solids
      @outputs.solids
    end

    def static_solids
      @outputs.static_solids
    end

    def sprites
      @outputs.sprites
    end

    def static_sprites
      @outputs.static_sprites
    end

    def labels
      @outputs.labels
    end

    def static_labels
      @outputs.static_labels
    end

    def lines
      @outputs.lines
    end

    def static_lines
      @outputs.static_lines
    end

    def borders
      @outputs.borders
    end

    def static_borders
      @outputs.static_borders
    end

    def primitives
      @outputs.primitives
    end

    def static_primitives
      @outputs.static_primitives
    end

    def keyboard
      @inputs.keyboard
    end

    def mouse
      @inputs.mouse
    end

    def controller_one
      @inputs.controller_one
    end

    def controller_two
      @inputs.controller_two
    end

    def click
      click = @inputs.mouse.click
      click ? click.point : nil
    end

    def click_at
      click = @inputs.mouse.click
      click ? click.created_at : nil
    end

    def autocomplete_methods
      [:inputs, :outputs, :zoq, :state, :geometry, :audio, :grid, :layout]
    end
  end
end
