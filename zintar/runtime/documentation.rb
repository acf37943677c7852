module ZOQ
  # The built-in documentation of the runtime object (args.zoq).
  module RuntimeDocs
    def docs_method_sort_order
      [:docs_api_summary, :docs_reset, :docs_calcstringbox, :docs_write_file]
    end

    def docs_class
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime~
The runtime is the object that drives your game. Reach it through ~args.zoq~ (or
~args.runtime~, or the global ~$zoq~). It calls your ~tick~ method sixty times a
second, loads and reloads your Ruby files, and offers services such as saving the
game state, notifications, files and HTTP requests.
HEREDOC
    end

    def docs_api_summary
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime~ API summary
** Flow
- ~args.zoq.pause!~, ~unpause!~, ~paused?~: stop and resume your ~tick~ (the console still runs).
- ~args.zoq.reset~: starts the game over (see ~docs_reset~).
- ~args.zoq.slowmo! 3~: call it every tick to run your ~tick~ once every four frames.
- ~args.zoq.schedule_callback 60 do ... end~: runs the block on tick 60.
- ~args.zoq.request_quit~: ends the game after this frame.
** State
- ~args.zoq.save_state~ and ~args.zoq.load_state~: write ~args.state~ to game_state.txt and read it back.
** Files and services
- ~args.zoq.read_file~, ~write_file~, ~append_file~ (see ~docs_write_file~).
- ~args.zoq.parse_json~, ~parse_json_file~, ~parse_xml~, ~parse_xml_file~.
- ~args.zoq.http_get~, ~http_post~, ~http_head~, ~http_put url, "file"~ (uploads a game file): answer a Hash
  that fills in while the request runs (~:complete~, ~:http_response_code~, ~:response_data~), or nil; set its
  ~:cancel~ to true to stop it.
- ~args.zoq.notify! "text"~: shows a short notification at the bottom of the screen.
- ~args.zoq.calcstringbox "text", size_enum~: the size of a label (see ~docs_calcstringbox~).
- ~args.zoq.log_level = :off~: keeps ordinary log messages out of the console.
- ~args.zoq.show_cursor~, ~hide_cursor~, ~set_window_fullscreen~, ~set_window_title~, ~openurl~.
HEREDOC
    end

    def docs_reset
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime#reset~
Starts the game over: ~args.state~ is emptied, ~Kernel.tick_count~ goes back to -1 (so
the next tick is tick 0), the outputs are cleared and the game is unpaused. When your
game defines a top-level ~reset~ method it is called too. The random number generator
is seeded again with the current seed, or with the one you give:
#+begin_src
  def tick args
    args.zoq.reset seed: 42 if args.inputs.keyboard.key_down.r
  end
#+end_src
A reset before the first tick, or a second reset in the same tick, does nothing.
HEREDOC
    end

    def docs_calcstringbox
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime#calcstringbox~
Answers the width and height of a label's text, in logical pixels, for a size enum
(0 is the default size) and a font (by default font.ttf):
#+begin_src
  w, h = args.zoq.calcstringbox "Hello World", 0, "font.ttf"
#+end_src
HEREDOC
    end

    def docs_write_file
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime#write_file~
Writes a text file below the game's folder, creating the folders it needs; in a
released game the file goes to the player's preference folder.
~append_file~ adds to the end of a file and ~read_file~ answers a file's text (nil
when there is no such file).
#+begin_src
  args.zoq.write_file "data/scores.txt", "100"
  args.zoq.append_file "data/scores.txt", ",200"
  args.zoq.read_file "data/scores.txt" # => "100,200"
#+end_src
HEREDOC
    end
  end
end
