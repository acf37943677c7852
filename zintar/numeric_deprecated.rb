# Numeric methods that were removed: each raises with the replacement.
module NumericDeprecated
  def perc_to_zero start, duration
    raise "* ERROR:\nNumeric#perc_to_zero has been deprecated.\nYou'll want to convert your code:\n\nFrom:\n\nstate.tick_count.perc_to_zero(start_time, duration)\n\nTo:\n\nstart_time.ease(duration, :flip)\n\nFor more usages, checkout the the easing sample app\nlocated at samples/13_easing_functions.\n\n"
  end

  def perc_to_one start, duration
    raise "* ERROR:\nNumeric#perc_to_one has been deprecated.\nYou'll want to convert your code:\n\nFrom:\n\nstate.tick_count.perc_to_one(start_time, duration)\n\nTo:\n\nstart_time.ease(duration)\n\nFor more usages, checkout the the easing sample app\nlocated at samples/13_easing_functions.\n\n"
  end

  def pos?
    raise "* ERROR:\nNumeric#pos? has been deprecated.\nYou'll want to convert your code:\n\nFrom:\n\n1.pos?\n\nTo:\n\n1.positive?\n\n"
  end

  def neg?
    raise "* ERROR:\nNumeric#neg? has been deprecated.\nYou'll want to convert your code:\n\nFrom:\n\n1.neg?\n\nTo:\n\n1.negative?\n\n"
  end
end
