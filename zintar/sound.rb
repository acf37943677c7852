module ZOQ
  # A sound file pushed to args.outputs.sounds: the runtime turns ".wav" paths into
  # one-off effects and ".ogg" paths into looping music.
  class Sound
    include ZOQ::Serialize
    attr_accessor :path

    def self.parse v
      return nil if v.nil? || v == false
      return new(path: v) if v.is_a?(String)
      return v if v.is_a?(Sound)
      raise "* ERROR: I don't know how to parse #{v} into a #{Sound.name}."
    end

    def initialize opts = {}
      @path = opts[:path] if opts[:path]
    end
  end
end
