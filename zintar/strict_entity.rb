module ZOQ
  # The closed entity: each entity type gets a generated subclass whose properties are fixed
  # when the type is first made (ZOQ::Entity.new_entity_strict). Properties are instance
  # variables behind attribute accessors.
  class StrictEntity
    attr_accessor :entity_id, :entity_name, :entity_strict, :created_at, :created_at_elapsed,
                  :global_created_at_elapsed, :entity_type, :entity_keys_by_ref

    def self.parse_serialization_data data
      ZOQ::Entity.parse_serialization_data data
    end

    def initialize name, init_hash = nil, block = nil
      @entity_id = ZOQ::Entity.id!
      @entity_name = name
      @entity_type = name
      @created_at = Kernel.tick_count
      @global_created_at_elapsed = Kernel.global_tick_count
      @entity_strict = true
      @entity_keys_by_ref = {}
      init_hash.each { |k, v| instance_variable_set "@#{k}", v } if init_hash
      block.call self if block
    end

    # A name without a declared reader or writer raises the strict error (method_missing).
    def [] key
      __send__ key
    end

    def []= key, value
      __send__ "#{key}=", value
    end

    def set! key, value
      self[key] = value
    end

    def as_hash
      self
    end

    def to_hash
      update_entity_keys_by_ref
      result = {}
      instance_variables.each do |name|
        result[name.to_s[1..-1].to_sym] = instance_variable_get name
      end
      result
    end

    def to_s
      ZOQ::Entity.__save_text__ self
    end

    def inspect
      ZOQ::Entity.__save_text__ self
    end

    # Any filed entity type counts: a strict entity "is a" every type that was made strict.
    def is_a? klass
      filed = ZOQ::Entity.strict_entities[klass]
      return filed if filed
      super
    end

    def created_at_elapsed
      Kernel.tick_count - @created_at
    end

    def global_created_at_elapsed
      Kernel.global_tick_count - @global_created_at_elapsed
    end

    def hash
      log_once :hash_renamed_to_as_hash, ZOQ::Entity::HASH_RENAMED_WARNING
      super
    end

    def clear!
      instance_variables.each { |name| instance_variable_set name, nil }
      self
    end

    def load_entity_data! data
      ZOQ::Entity.__load_into__ self, data
    end

    def update_entity_keys_by_ref
      @entity_keys_by_ref = {}
      pairs = []
      instance_variables.each do |name|
        pairs << name.to_s[1..-1].to_sym << instance_variable_get(name)
      end
      @entity_keys_by_ref = ZOQ::Entity.__keys_by_ref__ pairs
    end

    def method_missing m, *args
      raise "* ERROR:\nThe *strict* entity with name :#{@entity_name} doesn't have the property #{m}. When converting\nan entity to a strict entity (going from \"args.state.new_entity\" to \"args.state.new_entity_strict\"),\nall possible properties must be defined when the entity was originially created. Make sure\n#{m} is defined within args.state.new_entity_strict(:#{@entity_name}) do ... end.\n\n"
    end
  end
end
