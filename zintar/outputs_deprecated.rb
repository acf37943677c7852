module ZOQ
  # Output collections are filled with << and emptied with clear; these forms raise with
  # the replacement, after leaving a source search for the old form in the console.
  module OutputsDeprecated
    COLLECTION_WRITERS = [:solids, :sprites, :lines, :labels, :borders, :primitives, :reserved,
                          :static_solids, :static_sprites, :static_lines, :static_labels,
                          :static_borders, :static_primitives, :static_reserved].freeze

    COLLECTION_WRITERS.each do |prop|
      define_method(:"#{prop}=") { |value| __raise_reassignment__ prop }
    end

    def __raise_reassignment__ prop
      __zoq_console_set_command__ "$zoq.grep_source [\".#{prop} =\", \"remove assignment and use << or .clear instead.\"]"
      raise "* ERROR:\nThe #{prop} property on outputs no longer supports\nreassignment. Please use the << operator instead. Or if you need to\nclear it use the .clear method instead.\n\n"
    end

    def __raise_renamed__ old_name, new_name
      shown = old_name.to_s.end_with?("=") ? "#{old_name.to_s.chop} =" : old_name.to_s
      __zoq_console_set_command__ "$zoq.grep_source [\".#{shown}\", \"property name changed to #{new_name}.\"]"
      raise "* ERROR:\nThe property outputs.#{old_name} has been renamed.\nUse outputs.#{new_name} instead.\n\n"
    end

    def static_background_color= value
      __raise_renamed__ :static_background_color=, :background_color=
    end

    def static_background_color
      __raise_renamed__ :static_background_color, :background_color
    end
  end

  module FlatArrayDeprecated
    def + other
      name = reference_name
      __zoq_console_set_command__ "$zoq.grep_source [\".#{name} +=\", \"change the += operator to <<.\"], " \
                                  "[\".#{name} =\", \"remove assignment and use <<.\"], " \
                                  "[\".#{name} +\", \"change + operator to <<.\"]"
      raise "* ERROR:\nThe + has been deprecated on the output collection\nnamed args.outputs.#{name}.\n\n"
    end
  end
end
