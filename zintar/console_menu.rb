module ZOQ
  class Console
    # The row of buttons along the top of the open console.
    class Menu
      attr_accessor :buttons

      def initialize console
        @console = console
        @menu_shown = :hidden
        @buttons = []
      end

      def tick args
        @buttons = menu_buttons args
        reserved = args.outputs.reserved
        @buttons.each { |b| b[:primitives].each { |p| reserved << p } }
        click = args.inputs.mouse.click
        return nil unless click
        hit = @buttons.find { |b| inside? click, b[:rect] }
        return nil unless hit
        args.inputs.mouse.click = nil
        send hit[:method]
        nil
      end

      def rect_for_layout row, col
        top = $zoq ? $zoq.args.grid.top : ZOQ::Host::DEFAULT_HEIGHT
        { x: 5 + 105 * col, y: top - (55 + 55 * row), w: 100, h: 50 }
      end

      def button(args, id:, row:, col:, text:, method:)
        { id: id, row: row, col: col, text: text, method: method }
      end

      def custom_buttons
        []
      end

      def serialize
        { not_supported: to_s }
      end

      def inspect
        serialize.to_s
      end

      def to_s
        "#<ZOQ::Console::Menu>"
      end

      def show_menu_clicked
        @menu_shown = :visible
      end

      def hide_menu_clicked
        @menu_shown = :hidden
      end

      def close_clicked
        @menu_shown = :hidden
        @console.hide
      end

      def scroll_up_clicked
        @console.scroll_up_half
      end

      def scroll_down_clicked
        @console.scroll_down_half
      end

      def scroll_end_clicked
        @console.scroll_to_bottom
      end

      def record_clicked
        $recording.start 100
      end

      def replay_clicked
        $replay.start "replay.txt"
      end

      def framerate_diagnostics_clicked
        @console.scroll_to_bottom
        $zoq.framerate_diagnostics
      end

      def reset_clicked
        $zoq.reset
      end

      def docs_clicked
        @console.scroll_to_bottom
        log Kernel.docs_classes
      end

      def itch_wizard_clicked
        @console.scroll_to_bottom
        $wizards.itch.start
      end

      private

      def menu_buttons args
        defs = if $zoq && $zoq.production
                 [button(args, id: :record, row: 0, col: 9, text: "record gameplay", method: :record_clicked),
                  button(args, id: :replay, row: 0, col: 10, text: "start replay", method: :replay_clicked)]
               elsif @menu_shown == :hidden
                 [button(args, id: :show_menu, row: 0, col: 10, text: "show menu", method: :show_menu_clicked)]
               else
                 [button(args, id: :scroll_up, row: 0, col: 6, text: "scroll up", method: :scroll_up_clicked),
                  button(args, id: :scroll_down, row: 0, col: 7, text: "scroll down", method: :scroll_down_clicked),
                  button(args, id: :scroll_end, row: 0, col: 8, text: "scroll end", method: :scroll_end_clicked),
                  button(args, id: :close_console, row: 0, col: 9, text: "close console", method: :close_clicked),
                  button(args, id: :hide_menu, row: 0, col: 10, text: "hide menu", method: :hide_menu_clicked),
                  button(args, id: :record, row: 1, col: 7, text: "record gameplay", method: :record_clicked),
                  button(args, id: :replay, row: 1, col: 8, text: "start replay", method: :replay_clicked),
                  button(args, id: :framerate_diagnostics, row: 1, col: 9, text: "framerate diagnostics",
                         method: :framerate_diagnostics_clicked),
                  button(args, id: :reset, row: 1, col: 10, text: "reset game", method: :reset_clicked),
                  button(args, id: :docs, row: 2, col: 10, text: "docs", method: :docs_clicked),
                  button(args, id: :itch_wizard, row: 2, col: 9, text: "itch wizard", method: :itch_wizard_clicked)] +
                   custom_buttons
               end
        defs.map { |d| d.merge(rect: rect_for_layout(d[:row], d[:col]), primitives: button_primitives(d)) }
      end

      def button_primitives d
        r = rect_for_layout d[:row], d[:col]
        f = @console.font_style.line_height_px / 2
        prims = [{ x: r[:x], y: r[:y], w: r[:w], h: r[:h], r: 0, g: 0, b: 0, a: 164, primitive_marker: :solid },
                 { x: r[:x], y: r[:y], w: r[:w], h: r[:h], r: 255, g: 255, b: 255, a: 255, primitive_marker: :border }]
        d[:text].to_s.wrapped_lines(5).each_with_index do |line, i|
          prims << { x: r[:x] + r[:w] / 2, y: r[:y] + r[:h] / 2 + f - i * (f + 2), text: line.chomp, size_enum: -3,
                     alignment_enum: 1, r: 255, g: 255, b: 255, a: 255, primitive_marker: :label }
        end
        prims
      end

      def inside? point, rect
        point.x >= rect[:x] && point.x <= rect[:x] + rect[:w] && point.y >= rect[:y] && point.y <= rect[:y] + rect[:h]
      end
    end
  end
end
