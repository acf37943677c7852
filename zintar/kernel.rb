# First version of the Kernel extensions: the game's and the process's tick counters.
module Kernel
  @@tick_count = -1
  @@global_tick_count = -1

  def self.tick_count
    @@tick_count
  end

  def self.tick_count= value
    @@tick_count = value
  end

  def self.global_tick_count
    @@global_tick_count
  end

  def self.global_tick_count= value
    @@global_tick_count = value
  end
end
