module ZOQ
  # From an SDL key code and modifier state to the key's character and the names under
  # which the keyboard model stores it.
  class KeyboardKeys
    SDLK_RIGHT = 0x4000004F
    SDLK_LEFT = 0x40000050
    SDLK_DOWN = 0x40000051
    SDLK_UP = 0x40000052
    SDLK_PAGEUP = 0x4000004B
    SDLK_HOME = 0x4000004A
    SDLK_PAGEDOWN = 0x4000004E
    SDLK_END = 0x4000004D
    SDLK_LCTRL = 0x400000E0
    SDLK_LSHIFT = 0x400000E1
    SDLK_LALT = 0x400000E2
    SDLK_LGUI = 0x400000E3
    SDLK_RCTRL = 0x400000E4
    SDLK_RSHIFT = 0x400000E5
    SDLK_RALT = 0x400000E6
    SDLK_RGUI = 0x400000E7
    NAVIGATION_KEYS = [SDLK_RIGHT, SDLK_LEFT, SDLK_DOWN, SDLK_UP, SDLK_PAGEUP, SDLK_HOME, SDLK_PAGEDOWN,
                       SDLK_END].freeze

    KMOD_SHIFT = 0x0003
    KMOD_CTRL = 0x00C0
    KMOD_ALT = 0x0300
    KMOD_GUI = 0x0C00
    # Lock states, not keys held: Linux reports Num Lock (and Scroll Lock) with every key.
    KMOD_NUM_AND_SCROLL = 0x1000 | 0x8000

    def self.shift_table
      @shift_table ||= begin
        table = { "`" => "~", "-" => "_", "'" => "\"", "1" => "!", "2" => "@", "3" => "#", "4" => "$",
                  "5" => "%", "6" => "^", "7" => "&", "8" => "*", "9" => "(", "0" => ")", ";" => ":",
                  "=" => "+", "[" => "{", "]" => "}", "\\" => "|", "/" => "?", "." => ">", "," => "<" }
        ("a".."z").each { |letter| table[letter] = letter.upcase }
        table
      end
    end

    def self.char_to_method_hash
      @char_to_method_hash ||= begin
        table = {}
        ("A".."Z").each { |letter| table[letter] = [letter.downcase.to_sym] }
        table["!"] = [:exclamation_point]
        [:zero, :one, :two, :three, :four, :five, :six, :seven, :eight, :nine].each_with_index do |name, digit|
          table[digit.to_s] = [name]
        end
        table[8.chr] = [:backspace]
        table[27.chr] = [:escape]
        table[13.chr] = [:enter]
        table[9.chr] = [:tab]
        { "(" => :open_round_brace, ")" => :close_round_brace, "{" => :open_curly_brace, "}" => :close_curly_brace,
          "[" => :open_square_brace, "]" => :close_square_brace, ":" => :colon, ";" => :semicolon,
          "=" => :equal_sign, "-" => :hyphen, " " => :space, "$" => :dollar_sign, "\"" => :double_quotation_mark,
          "'" => :single_quotation_mark, "`" => :backtick, "~" => :tilde, "." => :period, "," => :comma,
          "|" => :pipe, "_" => :underscore, "#" => :hash, "+" => :plus, "@" => :at, "/" => :forward_slash,
          "\\" => :back_slash, "*" => :asterisk, "<" => :less_than, ">" => :greater_than, "^" => :circumflex,
          "&" => :ampersand, "²" => :superscript_two, "§" => :section_sign, "?" => :question_mark,
          "%" => :percent_sign, "º" => :ordinal_indicator }.each { |char, name| table[char] = [name] }
        table[SDLK_HOME] = [:home]
        table[SDLK_END] = [:end]
        table[SDLK_RIGHT] = [:right]
        table[SDLK_LEFT] = [:left]
        table[SDLK_DOWN] = [:down]
        table[SDLK_UP] = [:up]
        table[SDLK_PAGEUP] = [:pageup]
        table[SDLK_PAGEDOWN] = [:pagedown]
        table[127] = [:delete]
        table[SDLK_LSHIFT] = [:shift_left, :shift]
        table[SDLK_RSHIFT] = [:shift_right, :shift]
        table[SDLK_LCTRL] = [:control_left, :control]
        table[SDLK_RCTRL] = [:control_right, :control]
        table[SDLK_LALT] = [:alt_left, :alt]
        table[SDLK_RALT] = [:alt_right, :alt]
        table[SDLK_LGUI] = [:meta_left, :meta]
        table[SDLK_RGUI] = [:meta_right, :meta]
        table
      end
    end

    # Codes above 127 are Unicode code points (SDL's key codes for Latin-1 keys): UTF-8.
    def self.utf_8_char raw_key
      raw_key = raw_key.to_i
      raw_key < 128 ? raw_key.chr : [raw_key].pack("U")
    end

    def self.char_with_shift raw_key, modifier
      raw_key = raw_key.to_i
      return nil unless raw_key >= 0 && raw_key <= 255
      mod = modifier.to_i & ~KMOD_NUM_AND_SCROLL
      return utf_8_char(raw_key) unless mod >= 1 && mod <= 3
      char = utf_8_char(raw_key)
      shift_table[char] || char
    end

    def self.char_to_method char, int = nil
      names = char_to_method_hash[char] || char_to_method_hash[int]
      return names.dup if names
      [char ? char.to_sym : int]
    end

    # The key's own names, without those of the modifiers held with it; nil for a key
    # that has none.
    def self.key_names raw_key, modifier
      raw_key = raw_key.to_i
      named = (raw_key >= 0 && raw_key <= 255) || NAVIGATION_KEYS.include?(raw_key) ||
              (raw_key >= SDLK_LCTRL && raw_key <= SDLK_RGUI)
      return nil unless named
      char = char_with_shift raw_key, modifier
      # Control codes without a name of their own cannot be stored as a key.
      return nil if raw_key < 32 && !char_to_method_hash[char]
      char_to_method char, raw_key
    end

    def self.sdl_to_key raw_key, modifier
      names = key_names raw_key, modifier
      return nil unless names
      modifier = modifier.to_i
      names << :alt if modifier & KMOD_ALT != 0
      names << :meta if modifier & KMOD_GUI != 0
      names << :control if modifier & KMOD_CTRL != 0
      names << :shift if modifier & KMOD_SHIFT != 0
      names
    end
  end
end
