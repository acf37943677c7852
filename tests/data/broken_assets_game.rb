# Draws every picture of the corpus as a sprite and every font under a label, and keeps every
# sound in args.audio the way games do (`||=`: a sound that cannot be played is dropped and
# asked for again at once), for 30 s of its own clock; then writes when it started, how many
# ticks it ran and for how long. The broken-asset test and bench/broken_assets.sh run it.
def tick args
  $files ||= ($zoq.read_file('manifest.tsv') || '').split("\n").map { |l| l.split("\t") }
  $start ||= Time.now.to_f
  $ticks = ($ticks || 0) + 1
  $files.each_with_index do |(path, use), i|
    x, y = (i % 64) * 20, 700 - i.idiv(64) * 24
    if use == 'picture'
      args.outputs.sprites << { x: x, y: y - 20, w: 20, h: 20, path: path }
    elsif use == 'font'
      args.outputs.labels << { x: x, y: y, text: "AVfi\u00e9\u0416", font: path }
    else
      args.audio[path.to_sym] ||= { input: path, looping: true, gain: 0.1 }
    end
  end
  elapsed = Time.now.to_f - $start
  return if elapsed < 30
  $zoq.ffi_file.write 'result.txt', "#{$start} #{$ticks} #{elapsed}"
  $zoq.request_quit
end
