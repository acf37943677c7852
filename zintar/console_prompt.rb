module ZOQ
  class Console
    # The console's one-line editor: a text with a cursor, word-wise movement, insertion of
    # typed and pasted text, and TAB completion against the object before the last period.
    #
    # Strings are bytes in this interpreter: the cursor is a byte offset that only ever
    # rests between two UTF-8 code points, so no edit splits a character.
    class Prompt
      attr_accessor :current_input_str, :font_style, :console_text_width, :last_input_str, :last_input_str_changed

      PROMPT_MARK = "-> ".freeze

      WORD_LIMITER_CHARS = ["`", "~", "!", "@", "#", "$", "%", "^", "&", "*", "-", "=", "+", "(", ")", "[", "]",
                            "{", "}", "|", ";", ":", "'", "\"", ",", ".", "<", ">", "/", "?", "_", " ", "\t",
                            "\n", "\0"].freeze

      def initialize(font_style:, text_color:, console_text_width:)
        @font_style = font_style
        @text_color = text_color
        @console_text_width = console_text_width
        @cursor_color = Color.new [187, 21, 6, 255]
        @current_input_str = ""
        @last_input_str = ""
        @last_input_str_changed = false
        @cursor_position = 0
        @cursor_offset = nil
        @view_start = 0
        @view_room = nil
        @autocomplete_prefix = nil
        @next_candidate_index = 0
        @inserted_at = nil
      end

      def current_input_str= str
        @current_input_str = str.to_s
        @cursor_position = @current_input_str.length
        @cursor_offset = nil
      end

      # The cursor as a byte offset into the text (always at a code point's start).
      def cursor_position
        @cursor_position
      end

      def << str
        str = str.to_s
        text = @current_input_str
        @current_input_str = text[0, @cursor_position] + str + text[@cursor_position..-1].to_s
        @cursor_position += str.length
        @cursor_offset = nil
        @inserted_at = Kernel.global_tick_count
        reset_autocomplete
        self
      end

      def backspace
        return nil if @current_input_str.empty? || @cursor_position == 0
        start = previous_char_start @cursor_position
        text = @current_input_str
        @current_input_str = text[0, start] + text[@cursor_position..-1].to_s
        @cursor_position = start
        @cursor_offset = nil
        reset_autocomplete
        nil
      end

      def delete
        return nil if @current_input_str.empty? || @cursor_position >= str_len
        move_cursor_right
        backspace
      end

      def move_cursor_left
        @cursor_position = previous_char_start @cursor_position if @cursor_position > 0
        @cursor_offset = nil
      end

      def move_cursor_right
        @cursor_position = next_char_start @cursor_position if @cursor_position < str_len
        @cursor_offset = nil
      end

      def move_cursor_home
        @cursor_position = 0
        @cursor_offset = nil
      end

      def move_cursor_end
        @cursor_position = str_len
        @cursor_offset = nil
      end

      # Boundaries are ASCII, and UTF-8 continuation bytes never are one: every stop lies
      # between two code points.
      def move_cursor_left_word
        return nil if @cursor_position == 0
        text = @current_input_str
        p = @cursor_position - 1
        if is_word_boundary?(text[p])
          p -= 1 while p != 0 && is_word_boundary?(text[p - 1])
        else
          p -= 1 while p != 0 && !is_word_boundary?(text[p - 1])
        end
        @cursor_position = p
        @cursor_offset = nil
      end

      def move_cursor_right_word
        length = str_len
        return nil if @cursor_position >= length
        text = @current_input_str
        p = @cursor_position + 1
        if is_word_boundary?(text[p])
          p += 1 while p != length && is_word_boundary?(text[p])
        else
          p += 1 while p != length && !is_word_boundary?(text[p])
        end
        @cursor_position = p > length ? length : p
        @cursor_offset = nil
      end

      def clear
        @current_input_str = ""
        @cursor_position = 0
        @cursor_offset = nil
        reset_autocomplete
      end

      # One TAB press: the first lists the candidates, later ones cycle through them.
      def autocomplete
        if @autocomplete_prefix.nil?
          @autocomplete_prefix = calc_autocomplete_prefix
          @next_candidate_index = 0
          puts "* AUTOCOMPLETE CANDIDATES: #{@current_input_str}.."
          pretty_print_strings_as_table method_candidates(@autocomplete_prefix)
        else
          candidates = method_candidates(@autocomplete_prefix)
          return nil if candidates.empty?
          @next_candidate_index = 0 if @next_candidate_index >= candidates.length
          display_autocomplete_candidate candidates[@next_candidate_index]
          @next_candidate_index += 1
          @next_candidate_index = 0 if @next_candidate_index >= candidates.length
        end
        nil
      rescue Exception => e
        puts "* BUG: Tab autocompletion failed. Let us know about this.\n#{e}"
        nil
      end

      def render(args, x:, y:)
        reserved = args.outputs.reserved
        update_view args.grid.right - x - 10
        text = PROMPT_MARK + @current_input_str[@view_start..-1].to_s
        reserved << @font_style.label(x: x, y: y, text: text, color: @text_color)
        offset = @cursor_offset
        top = y + @font_style.letter_size[1] + 5
        c = @cursor_color
        reserved << line_primitive(x + offset + 0.5, y + 5, top, c)
        reserved << line_primitive(x + offset + 1, y + 5, top, c)
      end

      def tick
        if @inserted_at && @inserted_at < Kernel.global_tick_count && @current_input_str != @last_input_str
          @last_input_str_changed = true
          @last_input_str = @current_input_str.dup
          @inserted_at = nil
        else
          @last_input_str_changed = false
        end
      end

      def pretty_print_strings_as_table items
        if items.empty?
          puts "+--------+\n| (none) |\n+--------+"
          return nil
        end
        longest = items.map { |item| item.to_s.length }.max
        cell_width = longest + 2
        column_width = longest + 4
        # A console narrower than one column still gets one column a row.
        columns = @console_text_width.to_i.div(column_width)
        columns = items.length if columns > items.length
        columns = 1 if columns < 1
        separator = pretty_print_row_seperator columns, cell_width
        items.each_slice(columns) do |row|
          puts separator
          puts pretty_print_row(row, columns, longest)
        end
        puts separator
        nil
      end

      def pretty_print_row cells, columns, longest
        row = "|"
        columns.times do |i|
          cell = cells[i].to_s
          row += " " * (longest - cell.length) + " " + cell + " |"
        end
        row.gsub("  |  ", "     ")
      end

      def pretty_print_row_seperator columns, cell_width
        ("+" + "-" * cell_width) * columns + "+"
      end

      private

      def last_period_index
        @current_input_str.rindex(".")
      end

      def calc_autocomplete_prefix
        at = last_period_index
        at ? @current_input_str[(at + 1)..-1].to_s : @current_input_str.dup
      end

      def current_object
        at = last_period_index
        return Kernel unless at
        begin
          Kernel.eval(@current_input_str[0, at])
        rescue NameError
          nil
        end
      end

      def method_candidates prefix
        names = current_object.autocomplete_methods || []
        names.map { |name| name.to_s }.select { |name| name.start_with?(prefix) }
      end

      def display_autocomplete_candidate candidate
        candidate = candidate.to_s
        candidate = candidate[0..-2] + " = " if candidate.end_with?("=") && candidate.length > 1
        at = last_period_index
        self.current_input_str = at ? @current_input_str[0, at + 1] + candidate : candidate
      end

      def reset_autocomplete
        @autocomplete_prefix = nil
        @next_candidate_index = 0
      end

      def is_word_boundary? char
        WORD_LIMITER_CHARS.include? char
      end

      def str_len
        @current_input_str.length
      end

      def previous_char_start position
        text = @current_input_str
        position -= 1
        position -= 1 while position > 0 && continuation_byte?(text.getbyte(position))
        position
      end

      def next_char_start position
        text = @current_input_str
        length = text.length
        position += 1
        position += 1 while position < length && continuation_byte?(text.getbyte(position))
        position
      end

      def continuation_byte? byte
        byte && byte & 0xC0 == 0x80
      end

      # A line wider than the room the prompt has is drawn from a later character on, so that
      # the cursor stays in view: the drawn part keeps its place while the cursor moves inside
      # it, and is as far left as the text after it allows. Measured once per change.
      def update_view room
        return nil if @cursor_offset && @view_room == room
        @view_room = room
        cursor = @cursor_position
        start = [@view_start, cursor, fitting_start(str_len, room)].min
        first = fitting_start cursor, room
        start = first if start < first
        @view_start = start
        @cursor_offset = text_width(@current_input_str[start, cursor - start].to_s)
      end

      # The first character from which the text up to stop fits the room.
      def fitting_start stop, room
        text = @current_input_str
        return 0 if text_width(text[0, stop].to_s) <= room
        low = 0
        high = stop
        # Invariant: the text from high fits, the text from low does not.
        while high - low > 1
          middle = (low + high).div(2)
          middle -= 1 while middle > low && continuation_byte?(text.getbyte(middle))
          middle = next_char_start(middle) if middle == low
          break if middle >= high
          if text_width(text[middle, stop - middle].to_s) <= room
            high = middle
          else
            low = middle
          end
        end
        high
      end

      # The width of the mark followed by the text.
      def text_width text
        $zoq.calcstringbox(PROMPT_MARK + text, @font_style.size_enum, @font_style.font)[0]
      end

      def line_primitive x, y, y2, c
        { x: x, y: y, x2: x, y2: y2, r: c.r, g: c.g, b: c.b, a: c.a, primitive_marker: :line }
      end
    end
  end
end
