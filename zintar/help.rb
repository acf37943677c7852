module ZOQ
  # Fixed help texts that error messages and warnings quote.
  class Help
    def self.primitive_contract primitive_name
      case primitive_name
      when :label
        label_contract
      when :solid, :border
        solid_border_contract
      when :sprite
        sprite_contract
      else
        "No contract found for primitive #{primitive_name}. The supported primitives are :label, :solid, :border, :sprite."
      end
    end

    def self.label_contract
      "* :label (if :primitive_marker returns :label)\n** :x, :y, :text\n** :size_enum\ndefault: 0\nnegative value means smaller text\npositive value means larger text\n** :alignment_enum default: 0\ndefault: 0\n0: left aligned, 1: center aligned, 2: right aligned\n** :r, :g, :b, :a\ndefault: 0's for rgb and 255 for a\n** :font\ndefault nil\npath to ttf file\n"
    end

    def self.solid_border_contract
      "* :solid, :border (if :primitive_marker returns :solid or :border)\n** :x, :y, :w, :h, :r, :g, :b, :a\n"
    end

    def self.sprite_contract
      "* :sprite (if :primitive_marker returns :sprite)\n** :x, :y, :w, :h\n** :angle, :angle_anchor_x, :angle_anchor_y\ndefault for angle: 0 (0 to 360 degress)\ndefault for angle_anchor_(x|y): 0 (decimal value between 0 and 1.0, 0.5 means center)\n** :r, :g, :b, :a\n** :tile_x, :tile_y\ndefault: 0, x, y offset for sprite to crop at\n** :tile_w, :tile_h\ndefault: -1, width and height of crop (-1 means full width and height)\n** :flip_horizontally, :flip_vertically\ndefault: falsey value\n"
    end

    # Names in underscores are the runtime's own (the tracer's call depth), not the game's.
    def self.code_for_class_attributes_as_hash klass
      names = klass.respond_to?(:attributes) ? klass.attributes : nil
      names = names.reject { |n| n.to_s.start_with?("__") } if names
      return "{ }" if !names || names.empty?
      text = "{ " + names.map { |n| "#{n}: #{n}" }.join(", ") + " }"
      text = text.gsub("  ", " ") while text.include?("  ")
      text
    end

    def self.serialization_implementation_help klass
      name = klass.respond_to?(:name) && klass.name ? klass.name : klass.to_s
      attributes = code_for_class_attributes_as_hash(klass)
      "* WARNING: #{name} does not support serialization. Returning nil.\n" \
      "Objects of this class cannot be written into saved game state or shown in a readable\n" \
      "way. To make the class serializable, override ~serialize~ so that it returns a Hash\n" \
      "of its values (and ~inspect~ and ~to_s~ so that they return that Hash's text):\n" \
      "#+begin_src\n" \
      "  class #{name}\n" \
      "    def serialize\n" \
      "      #{attributes}\n" \
      "    end\n" \
      "\n" \
      "    def inspect\n" \
      "      serialize.to_s\n" \
      "    end\n" \
      "\n" \
      "    def to_s\n" \
      "      serialize.to_s\n" \
      "    end\n" \
      "  end\n" \
      "#+end_src\n" \
      "Including ~ZOQ::Serialize~ in the class does this for every instance variable.\n"
    end

    def self.serialization_too_large
      "* WARNING: The serialized state is longer than 20,000 characters.\n" \
      "State this large is unlikely to deserialize correctly. Consider saving it in parts:\n" \
      "#+begin_src\n" \
      "  $zoq.serialize_state \"player.txt\", args.state.player\n" \
      "  $zoq.serialize_state \"world.txt\", args.state.world\n" \
      "#+end_src\n"
    end
  end
end
