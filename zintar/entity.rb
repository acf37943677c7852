module ZOQ
  # Entity ids, strict entity types, and the save text of the game state: writing entities as
  # Ruby literal text and rebuilding them from the evaluated literal.
  #
  # Both directions walk the data with an explicit work list: the interpreter stops at about
  # 960 nested calls, and a game's state can nest deeper than a recursive walk allows.
  class Entity
    # An entity's hash stays Object#hash; the first call logs where the property Hash went.
    HASH_RENAMED_WARNING = "* WARNING:\nEntity#hash has been renamed to Entity#as_hash so as not to clober Object#hash. If you get a weird exception later on, this may end up being why (since now this function returns a fixnum and not a dictionary).\n".freeze

    def self.id!
      @id ||= 0
      @id += 1
    end

    def self.__reset_id__!
      @id = 0
    end

    # Ids are never reused: a loaded entity keeps its saved id, so later ids start above it.
    def self.__note_loaded_id__ id
      @id ||= 0
      @id = id if id.is_a?(Integer) && id > @id
    end

    def self.strict_entities
      @strict_entities ||= {}
    end

    def self.new_entity entity_type, init_hash = nil, block = nil
      entity = OpenEntity.new entity_type
      entity.entity_type = entity_type
      entity.created_at = Kernel.tick_count
      entity.global_created_at = Kernel.global_tick_count
      if init_hash
        properties = entity.__entity_hash__
        init_hash.each { |k, v| properties[k] = v }
      end
      block.call entity if block
      entity
    end

    def self.new_entity_strict entity_type, init_hash = nil, block = nil
      klass = strict_entities[entity_type]
      unless klass
        init_hash ||= {}
        probe = new_entity entity_type, init_hash, block
        names = init_hash.keys
        probe.__entity_hash__.each_key { |k| names << k unless init_hash[k] }
        klass = Class.new StrictEntity
        names.each { |name| klass.__send__ :attr_accessor, name }
        strict_entities[entity_type] = klass
      end
      klass.new entity_type, init_hash, block
    end

    # value: an evaluated save text. Hashes carrying an :entity_id become entities again,
    # Arrays are rebuilt element by element, anything else comes back unchanged.
    def self.parse_serialization_data value
      tasks = []
      result = __parse_value__ value, tasks, nil
      __run_load_tasks__ tasks
      result
    end

    def self.__load_into__ entity, data
      __run_load_tasks__ [entity, data, nil]
      entity
    end

    # Answers the object that stands for value; entities and Arrays are only made here and
    # queued, to be filled by __run_load_tasks__. A task is [target, source, owner]: owner
    # is the task index of the entity whose data holds the source (nil at the top).
    def self.__parse_value__ value, tasks, owner
      if value.is_a?(Hash) && value[:entity_id]
        entity = if value[:entity_strict]
                   new_entity_strict value[:entity_name], value
                 else
                   OpenEntity.new
                 end
        tasks << entity << value << owner
        entity
      elsif value.is_a? Array
        copy = []
        tasks << copy << value << owner
        copy
      else
        value
      end
    end

    def self.__run_load_tasks__ tasks
      i = 0
      while i < tasks.length
        target = tasks[i]
        source = tasks[i + 1]
        owner = tasks[i + 2]
        begin
          if target.is_a? Array
            source.each { |element| target << __parse_value__(element, tasks, owner) }
          else
            __fill_entity__ target, source, tasks, i
          end
        rescue Exception => e
          __raise_load_error__ tasks, owner, e
        end
        i += 3
      end
    end

    # A failure inside a nested entity reads as if each entity around it had loaded its
    # data itself: every owner wraps the message in its own load error, innermost first.
    def self.__raise_load_error__ tasks, owner, error
      raise error unless owner
      message = error.message
      while owner
        message = __load_error_text__ tasks[owner + 1], message
        owner = tasks[owner + 2]
      end
      raise message
    end

    def self.__load_error_text__ data, inner
      "* ERROR:\nFailed to load entity data from:\n\n#+begin_src\n#{data}\n#+end_src\n\nThe save data looks to be corrupt.\n\n** INNER EXCEPTION:\n#{inner}\n"
    end

    def self.__fill_entity__ entity, data, tasks, index
      strict = entity.is_a? StrictEntity
      entity[:entity_id] = id!
      data.each do |k, v|
        __note_loaded_id__ v if k == :entity_id
        entity.class.__send__ :attr_accessor, k if strict && !entity.respond_to?(k)
        entity[k] = __parse_value__ v, tasks, index
      end
      refs = data[:entity_keys_by_ref]
      if refs
        if strict
          refs.each { |other, main| entity[other] = entity[main] }
        else
          properties = entity.__entity_hash__
          refs.each { |other, main| entity[other] = properties[main] }
        end
      end
      entity
    rescue Exception => e
      raise __load_error_text__(data, e)
    end

    # Values the interpreter keeps by value (equal ones share an object_id). They are not
    # recorded as shared references: once one of them changes, an old link would overwrite it.
    def self.__by_value__? value
      value.nil? || true == value || false == value ||
        value.is_a?(Integer) || value.is_a?(Float) || value.is_a?(Symbol)
    end

    # pairs: [key, value, ...]; answers { later_key => first_key } for keys whose values are
    # one and the same object.
    def self.__keys_by_ref__ pairs
      first_key_by_id = {}
      refs = {}
      i = 0
      while i < pairs.length
        key = pairs[i]
        value = pairs[i + 1]
        i += 2
        next if __by_value__? value
        id = value.object_id
        if first_key_by_id.key? id
          refs[key] = first_key_by_id[id]
        else
          first_key_by_id[id] = key
        end
      end
      refs
    end

    SAVE_VALUE = 0
    SAVE_TEXT = 1
    SAVE_LEAVE = 2

    # The save text of value: Ruby literal text that evaluates back to the same values.
    # Entities are written as their property hashes with fresh reference maps, objects
    # that include Serialize as their serialize hashes; an object met again inside itself
    # is written as nil (a literal cannot express the cycle).
    def self.__save_text__ root
      out = ""
      open = {}
      stack = [root, SAVE_VALUE]
      until stack.empty?
        kind = stack.pop
        item = stack.pop
        if kind == SAVE_TEXT
          out << item
        elsif kind == SAVE_LEAVE
          open.delete item
        elsif (text = __scalar_save_text__(item))
          out << text
        elsif item.is_a?(Hash) || item.is_a?(Array) || item.is_a?(OpenEntity) || item.is_a?(StrictEntity)
          id = item.object_id
          if open[id]
            out << "nil"
          else
            open[id] = true
            stack << id << SAVE_LEAVE
            out << __open_save_container__(stack, item)
          end
        elsif item.is_a? Serialize
          # Its serialize hash, written like any other value so that Floats inside keep
          # their digits.
          stack << item.serialize << SAVE_VALUE
        else
          out << item.inspect.to_s
        end
      end
      out
    end

    # The save text of a value that holds no others; nil for any other value.
    def self.__scalar_save_text__ item
      if item.nil?
        "nil"
      elsif true == item
        "true"
      elsif false == item
        "false"
      elsif item.is_a?(Integer)
        item.to_s
      elsif item.is_a?(Float)
        __float_text__(item)
      elsif item.is_a?(String)
        __string_save_text__(item)
      elsif item.is_a?(Symbol)
        item.inspect
      end
    end

    # The parser refuses a String literal of 65,534 bytes or more: a longer String is written
    # as adjacent literals, which the parser joins into one String.
    STRING_LITERAL_PART = 32_768

    def self.__string_save_text__ s
      return s.inspect if s.bytesize <= STRING_LITERAL_PART
      parts = []
      at = 0
      while at < s.bytesize
        parts << s.byteslice(at, STRING_LITERAL_PART).inspect
        at += STRING_LITERAL_PART
      end
      parts.join(" ")
    end

    # Answers the opening bracket of an Array or of a Hash-like value (an entity is written as
    # its hash) and pushes what follows it: its elements or pairs, last first, over the closing
    # bracket.
    def self.__open_save_container__ stack, item
      if item.is_a? Array
        stack << "]" << SAVE_TEXT
        i = item.length - 1
        while i >= 0
          stack << item[i] << SAVE_VALUE
          stack << ", " << SAVE_TEXT if i > 0
          i -= 1
        end
        return "["
      end
      hash = if item.is_a? OpenEntity
               item.update_entity_keys_by_ref
               item.__entity_hash__
             elsif item.is_a? StrictEntity
               item.to_hash
             else
               item
             end
      stack << "}" << SAVE_TEXT
      pairs = hash.to_a
      i = pairs.length - 1
      while i >= 0
        key = pairs[i][0]
        stack << pairs[i][1] << SAVE_VALUE
        stack << (__key_needs_blank__?(key) ? " =>" : "=>") << SAVE_TEXT
        stack << key << SAVE_VALUE
        stack << ", " << SAVE_TEXT if i > 0
        i -= 1
      end
      "{"
    end

    # :a? =>1 reads back, :a?=>1 does not: a Symbol key whose text ends in an operator or
    # punctuation gets a blank before "=>".
    def self.__key_needs_blank__? key
      return false unless key.is_a? Symbol
      c = key.inspect[-1]
      !((c >= "a" && c <= "z") || (c >= "A" && c <= "Z") || (c >= "0" && c <= "9") || c == "_" || c == "\"")
    end

    # The interpreter's own text, the shortest that reads back as the same Float; the
    # constants where a literal has none.
    def self.__float_text__ f
      return "Float::NAN" if f.nan?
      return (f > 0 ? "Float::INFINITY" : "-Float::INFINITY") if f.infinite?
      f.inspect
    end
  end
end
