module ZOQ
  # The guide: how a game is made, run, drawn, heard, kept and shipped.
  module ReadMeDocs
    def docs_method_sort_order
      [:docs_usage, :docs_hello_world, :docs_deployment, :docs_deployment_mobile, :docs_zintarel_philosophy,
       :docs_faq, :docs_ticks_and_frames, :docs_sprites, :docs_labels, :docs_sounds, :docs_game_state,
       :docs_troubleshooting_performance]
    end

    def docs_usage
      <<-HEREDOC
* DOCS: How To Use Zintarel
A game is a folder with ~app/main.rb~ in it. Run it with the folder's name:
#+begin_src
  ./zintarel mygame
#+end_src
Without a name, the folder ~mygame~ beside the executable is the game. Save any Ruby
file of the game and it is loaded again while the game runs; a file that does not parse
pauses the game and opens the console until you save it mended.
** The Console
Press the backtick key (~`~) to open the console. Type Ruby and press ENTER. Type
~docs~ for this documentation, ~docs_search "sprite"~ to search it, and
~Kernel.export_docs!~ to write all of it to docs/docs.txt and docs/docs.html.
HEREDOC
    end

    def docs_hello_world
      <<-HEREDOC
* DOCS: Hello World
Put this in ~mygame/app/main.rb~ and run ~./zintarel~:
#+begin_src
  def tick args
    args.outputs.labels << { x: 640, y: 360, text: "Hello World", alignment_enum: 1 }
    args.outputs.sprites << { x: 576, y: 100, w: 128, h: 101, path: "sprites/logo.png" }
  end
#+end_src
~tick~ runs sixty times a second. Everything you put into ~args.outputs~ is drawn
once, for that frame; the origin is the bottom left of the 1280 x 720 screen.
HEREDOC
    end

    def docs_deployment
      <<-HEREDOC
* DOCS: Shipping Your Game
1. Fill in ~metadata/game_metadata.txt~: ~devid~, ~devtitle~, ~gameid~, ~gametitle~,
   ~version~ and ~icon~, one ~key=value~ per line.
2. Add the empty file ~metadata/ZINTAREL_PRODUCTION_BUILD~, or run with ~--production~:
   the game then writes into a folder of the player's own, named after the metadata,
   and logs, backups and the development console are off.
3. Copy the executable, ~font.ttf~ and the game folder (or a ZIP archive of it) to
   the players.
~$wizards.itch.start~ in the console checks the metadata file with you, asks for
what is missing and runs the store packager ~zintarel-publish~ beside the executable.
HEREDOC
    end

    def docs_deployment_mobile
      <<-HEREDOC
* DOCS: Running Your Game On A Device
~$wizards.ios.start~ builds, signs and installs the game on a connected iOS device.
Its signing and installation steps run Xcode's and Apple's tools, so they need a Mac:
on other systems the wizard stops at the first tool it cannot find and tells you which.
** Hot reload on the device
While the game runs on the device, it asks the development machine (the address the
wizard wrote into the installed copy as ~app/server_ip_address.txt~) every second for
~changes.txt~ on port 8080, and loads each changed file. The development machine keeps
those files in ~tmp/src_backup~ beside the executable: every Ruby file that the hot
reload loads is copied there first. A file that is empty or does not parse is kept in
~tmp/src_backup/archived~ but not offered to devices.
HEREDOC
    end

    def docs_zintarel_philosophy
      <<-HEREDOC
* DOCS: Why Zintarel Works The Way It Does
- Your game is a function of its state: ~tick~ reads ~args.state~ and the input and
  describes the frame. Nothing is drawn that you did not put into ~args.outputs~ this
  frame (or into a ~static_~ collection).
- Start with Hashes and Arrays. Make classes when the game asks for them.
- Keep the game running: edits load while it plays, and mistakes pause it rather than
  end it.
- The console is part of the game while you make it: look at the state, change it,
  search the docs.
HEREDOC
    end

    def docs_faq
      <<-HEREDOC
* DOCS: Frequently Asked Questions
** Why is 5 / 2 equal to 2.5?
Integers divide into Floats here, as games expect. Use ~idiv~, ~div~, ~to_i~ or
~floor~ for whole results.
** Where do my files go?
~args.zoq.write_file~ writes below the game folder while you develop, and into the
player's own folder in a released game. ~read_file~ answers nil for a missing file.
** Why does my unset state read as nil without errors?
~args.state.player.x~ on a property never set answers nil, and ~||=~ fills it in:
~args.state.player.x ||= 100~.
HEREDOC
    end

    def docs_ticks_and_frames
      <<-HEREDOC
* DOCS: Ticks And Frames
The game is calculated sixty times a second: each calculation calls your ~tick~ once
and counts one tick (~args.tick_count~, also ~Kernel.tick_count~, 0 in the first tick).
While the game is paused, the tick count stands still; ~Kernel.global_tick_count~ keeps
counting. Measure time in ticks:
#+begin_src
  def tick args
    args.state.started_at ||= args.tick_count
    if args.state.started_at.elapsed_time > 3.seconds
      args.outputs.labels << { x: 10, y: 710, text: "three seconds have passed" }
    end
  end
#+end_src
HEREDOC
    end

    def docs_sprites
      <<-HEREDOC
* DOCS: Sprites
A sprite is a picture file drawn into a rectangle:
#+begin_src
  args.outputs.sprites << { x: 100, y: 100, w: 64, h: 64, path: "sprites/ship.png",
                            angle: 45, a: 255, flip_horizontally: false }
#+end_src
~tile_x~, ~tile_y~, ~tile_w~ and ~tile_h~ cut a part out of a larger picture, ~r~, ~g~, ~b~
tint it, and ~angle_anchor_x~ and ~angle_anchor_y~ say where it turns. An example that
animates a sprite is ~ZOQ::ReadMeDocs#animate_a_sprite~.
HEREDOC
    end

    def docs_labels
      <<-HEREDOC
* DOCS: Labels
A label is a line of text; ~x~ and ~y~ are its top left corner unless ~alignment_enum~
is 1 (centred) or 2 (right aligned):
#+begin_src
  args.outputs.labels << { x: 640, y: 700, text: "Score: \#{args.state.score}",
                           size_enum: 2, alignment_enum: 1, r: 255, g: 255, b: 255 }
#+end_src
~size_enum~ 0 is the default size; every step up or down changes it by two points.
~args.zoq.calcstringbox "text", size_enum~ answers the width and height a label takes.
HEREDOC
    end

    def docs_sounds
      <<-HEREDOC
* DOCS: Sounds
Put an entry into ~args.audio~ to play a WAV or Ogg Vorbis file; delete it to stop it:
#+begin_src
  args.audio[:music] ||= { input: "sounds/music.ogg", looping: true, gain: 0.5 }
  args.audio.delete :music if args.inputs.keyboard.key_down.m
#+end_src
~ZOQ::Args.docs_audio~ lists every key of an entry.
HEREDOC
    end

    def docs_game_state
      <<-HEREDOC
* DOCS: Game State
~args.state~ holds everything your game remembers. Set any property on it; nested
properties are made as you use them:
#+begin_src
  args.state.player.x ||= 100
  args.state.enemies ||= []
  args.state.enemies << args.state.new_entity(:enemy, x: 1280, y: 360)
#+end_src
~args.zoq.save_state~ writes it to game_state.txt and ~args.zoq.load_state~ reads it back;
~args.zoq.reset~ starts over with an empty state.
HEREDOC
    end

    def docs_troubleshooting_performance
      <<-HEREDOC
* DOCS: When Your Game Is Slow
- Draw what does not change from a ~static_~ collection, or once into a render target
  (~args.outputs[:background]~) that you then draw as one sprite.
- Plain Hashes and Arrays are drawn fastest; objects with readers cost more per sprite.
- Don't make new objects every tick for things that stay the same.
- The console shows the frame rate when it drops; ~args.zoq.current_framerate_calc~
  answers it.
HEREDOC
    end

    # An example the sprite topic points at: frame i of a six-frame walk, four ticks each.
    def animate_a_sprite args
      index = 0.frame_index(6, 4, true) || 0
      args.outputs.sprites << { x: 100, y: 100, w: 64, h: 64, path: "sprites/walk-#{index}.png" }
    end

    # An example: the same sprite drawn at three scales.
    def scale_sprites args
      [1, 2, 3].each_with_index do |scale, i|
        args.outputs.sprites << { x: 100 + i * 200, y: 300, w: 32 * scale, h: 32 * scale, path: "sprites/ship.png" }
      end
    end
  end

  # The guide's own class: it exists to carry the topics above.
  module ReadMe
    extend Docs
    extend ReadMeDocs
  end
end
