# Sounds four ways: a click through outputs.sounds, a hum placed where the mouse is, a
# chirp made of generated samples, and an endless tone fed by a callable.

# A sine tone that keeps its phase from one call to the next; each call answers 1/30 s,
# more than one step's worth, so the tone never runs dry.
class Tone
  attr_accessor :frequency

  def initialize frequency
    @frequency = frequency
    @phase = 0.0
  end

  def call
    Array.new(1470) do
      @phase += 2 * Math::PI * @frequency / 44100
      Math.sin(@phase) * 0.2
    end
  end
end

def chirp
  Array.new(4410) { |i| Math.sin(i * (0.05 + i * 0.00002)) * 0.4 * (1 - i / 4410) }
end

def tick args
  mouse = args.inputs.mouse
  # Every second a click, the old way.
  args.outputs.sounds << "sounds/click.wav" if args.tick_count % 60 == 0
  # The hum follows the mouse from left (-1) to right (+1) and loops until clicked away.
  args.audio[:hum] ||= { input: "sounds/hum.ogg", looping: true, gain: 0.5 }
  args.audio[:hum][:x] = (mouse.x - 640) / 640
  # A click pauses or resumes the hum and plays a chirp.
  if mouse.click
    args.audio[:hum][:paused] = !args.audio[:hum][:paused]
    args.audio[:"chirp_#{args.tick_count}"] = { input: [1, 44100, chirp] }
  end
  # The tone rises with the mouse.
  args.state.tone ||= Tone.new(220)
  args.state.tone.frequency = 220 + mouse.y / 2
  args.audio[:tone] ||= { input: [1, 44100, args.state.tone], gain: 0.3 }
  args.outputs.background_color = args.audio[:hum][:paused] ? [60, 30, 30] : [30, 60, 90]
end
