module ZOQ
  # First version of a named pixel array, until pixel arrays arrive with rendering.
  unless ZOQ.const_defined?(:PixelArray)
    class PixelArray
      attr_accessor :width, :height, :pixels

      def initialize
        @width = 0
        @height = 0
        @pixels = []
      end
    end
  end

  # What the game's tick receives: input, output collections, render targets, pixel
  # arrays, the audio hash, the state, the grid and layout, and the runtime itself.
  class Args
    include ArgsDeprecated
    include ZOQ::Serialize if ZOQ.const_defined?(:Serialize)

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
      @geometry = ZOQ.const_defined?(:Geometry) ? ZOQ::Geometry : nil
      @wizards = ZOQ::Wizards.new
      @layout = ZOQ::Layout.new(@grid.w, @grid.h)
      @easing = ZOQ.const_defined?(:Easing) ? ZOQ::Easing : nil
      @string = String
    end

    # $state follows the state it was pointing at when the game replaces it.
    def state= value
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
