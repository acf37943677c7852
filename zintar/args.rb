module ZOQ
  # First version of what the game's tick receives.
  class Args
    attr_accessor :state, :outputs, :passes, :audio
    attr_reader :runtime

    def initialize runtime
      @runtime = runtime
      @state = OpenEntity.new
      @outputs = Outputs.new
      @passes = []
      @audio = {}
    end

    def zoq
      @runtime
    end

    def tick_count
      Kernel.tick_count
    end
  end
end
