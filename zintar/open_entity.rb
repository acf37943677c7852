module OpenEntityDocs
  def docs_class
    "* DOCS: ~ZOQ::OpenEntity~\n" \
    "~args.state~ is an open entity: an attribute bag that keeps the whole state of a game\n" \
    "without declaring anything. Reading a property that was never set gives ~nil~, and a chain\n" \
    "of reads ending in an assignment creates the entities in between.\n" \
    "#+begin_src\n" \
    "  def tick args\n" \
    "    args.state.player.x ||= 100\n" \
    "    args.state.player.x += 1\n" \
    "    args.state.enemies ||= []\n" \
    "    args.state.boss = args.state.new_entity(:boss, hp: 10)\n" \
    "  end\n" \
    "#+end_src\n" \
    "Entities carry an ~entity_id~; those made with ~new_entity~ also carry ~entity_type~,\n" \
    "~created_at~ and ~global_created_at~. ~args.state.to_s~ is the save text of the state,\n" \
    "and ~ZOQ::Entity.parse_serialization_data~ rebuilds entities from the evaluated text.\n"
  end

  def docs_as_hash
    "* DOCS: ~ZOQ::OpenEntity#as_hash~\n" \
    "Answers the live property hash of the entity: changing the hash changes the entity.\n" \
    "The hash also holds the reserved keys (~:entity_id~ and the others); use ~attributes~\n" \
    "for a copy without them.\n" \
    "#+begin_src\n" \
    "  args.state.as_hash[:score] = 10\n" \
    "  args.state.score # => 10\n" \
    "  args.state.attributes # => { score: 10, ... }\n" \
    "#+end_src\n"
  end
end

module ZOQ
  # args.state: properties are read and written by name (a singleton reader or writer is
  # defined on first use) or by key through [] and []=. A property that was never set reads
  # as a nil that creates the missing entities on first use (nil coercion).
  class OpenEntity
    extend Docs
    extend OpenEntityDocs

    attr_accessor :__touched__, :__contains_array_indexers__

    def self.parse_serialization_data data
      ZOQ::Entity.parse_serialization_data data
    end

    # The property key of a writer name (:x for :x=), interned once per name. Keyed by the
    # name's text, which measured two to three times faster in the entity benchmark's first
    # writes than keying by the Symbol.
    def self.__writer_key__ name
      @__writer_keys__ ||= {}
      text = name.to_s
      key = @__writer_keys__[text]
      return key if key
      @__writer_keys__[text] = text.delete("=").to_sym
    end

    def initialize name = nil
      @hash = { entity_id: ZOQ::Entity.id! }
      @hash[:entity_name] = name if name
      @hash[:entity_keys_by_ref] = {}
    end

    # Where the framework reaches the live property hash without the warning of as_hash.
    def __entity_hash__
      @hash
    end

    def entity_id
      @hash[:entity_id]
    end

    def as_hash
      if @__contains_array_indexers__ && !@__array_indexer_warning_given__
        @__array_indexer_warning_given__ = true
        log_important "* IMPORTANT:\nThis dynamic entity contains array indexers. You may want to use attributes instead of the hash function to exclude reserved keys which are not numeric.\n\n"
      end
      @hash
    end

    def attributes
      reserved = __reserved_keys__
      result = {}
      @hash.each { |k, v| result[k] = v unless reserved.include?(k) }
      result
    end

    def hash
      log_once :hash_renamed_to_as_hash, ZOQ::Entity::HASH_RENAMED_WARNING
      super
    end

    alias_method :original_eq_eq, :== unless method_defined? :original_eq_eq

    def == other
      return true if original_eq_eq other
      return entity_id == other if other.is_a? Numeric
      nil
    end

    # Both forms write the save text, reference maps rebuilt for this entity and every entity
    # inside it.
    def to_s
      ZOQ::Entity.__save_text__ self
    end

    def inspect
      ZOQ::Entity.__save_text__ self
    end

    def set! key, value
      if key.is_a? Array
        key.each { |k| @hash[k.to_sym] = value }
        key
      else
        @hash[key.to_sym] = value
      end
    end

    def clear!
      @hash.clear
      self
    end

    def new_entity entity_type, init_hash = nil, &block
      ZOQ::Entity.new_entity entity_type, init_hash, block
    end

    def new_entity_strict entity_type, init_hash = nil, &block
      ZOQ::Entity.new_entity_strict entity_type, init_hash, block
    end

    def old?
      lifetime = @hash[:lifetime]
      return false unless lifetime.is_a? Numeric
      created_at_elapsed > lifetime
    end

    # Whether the entity was made in the current tick (or in the tick given).
    def new? tick_count_override = nil
      (tick_count_override || Kernel.tick_count) == @hash[:created_at]
    end

    def created_at_elapsed
      Kernel.tick_count - @hash[:created_at]
    end

    def global_created_at_elapsed
      Kernel.global_tick_count - @hash[:global_created_at]
    end

    def with_meta o, meta
      ObjectMetadata.with_meta o, meta
    end

    def meta o
      ObjectMetadata.meta o
    end

    def meta! o
      ObjectMetadata.meta! o
    end

    def __meta__
      ObjectMetadata.__meta__
    end

    def __reserved_keys__
      [:entity_id, :entity_type, :__thrash_count__, :entity_name, :created_at, :global_created_at]
    end

    def load_entity_data! data
      ZOQ::Entity.__load_into__ self, data
    end

    def update_entity_keys_by_ref
      @hash[:entity_keys_by_ref] = {}
      pairs = []
      @hash.each { |k, v| pairs << k << v }
      @hash[:entity_keys_by_ref] = ZOQ::Entity.__keys_by_ref__ pairs
    end

    def method_missing name, *args, &block
      return super if block

      if name == :[]
        key = args[0]
        value = @hash[key]
        __coerce__ value, key unless value
        value
      elsif name == :[]=
        key = args[0]
        if !@hash[key] && key.is_a?(Integer)
          @__contains_array_indexers__ = true
          OpenEntity.new
        end
        @hash[key] = args[1]
      elsif args.length == 0
        __get_hash_property__ name
      elsif args.length == 1 && name.to_s.include?("=")
        __set_hash_property__ name, args
      end
    end

    def __get_hash_property__ name
      define_singleton_method name do
        @__touched__ = true
        value = @hash[name]
        __coerce__ value, name unless value
        value
      end
      __send__ name
    end

    def __set_hash_property__ name, args
      key = OpenEntity.__writer_key__ name
      define_singleton_method name do |value|
        @__touched__ = true
        @hash[key] = value
      end
      __send__ name, args[0]
    end

    # Binds the coercion of a nil or false read to this entity's property, so that a call
    # on it creates the property. Nothing once the runtime switched coercion off.
    # Calls are counted per property: six different properties that each create their
    # entity with one call are no misuse of one nil.
    def __coerce__ value, name
      return if $disable_nil_coersion
      counters = (@hash[:__thrash_count__] ||= {})
      value.assign_method_missing @hash, name, (counters[name] ||= {})
    end
  end
end
