module KernelDocs
  def docs_method_sort_order
    [:docs_class, :docs_tick_count, :docs_global_tick_count, :docs_export_docs!]
  end

  def docs_class
    <<-HEREDOC
* DOCS: ~Kernel~
Every object in a game has the ~Kernel~ conveniences: the two frame counters,
~puts~ (which also reaches the log files and the console), and the ~puts6~,
~puts60~ and ~puts600~ forms that print only every 6th, 60th or 600th tick.
HEREDOC
  end

  def docs_tick_count
    <<-HEREDOC
* DOCS: ~Kernel::tick_count~
The game's frame counter. It is -1 until the game has finished loading, 0 in the
first tick, and grows by one in every tick in which the game's ~tick~ runs. A reset
sets it back to -1 and loading saved state restores it.
#+begin_src
  def tick args
    puts "one second has passed" if Kernel.tick_count.zmod? 60
  end
#+end_src
HEREDOC
  end

  def docs_global_tick_count
    <<-HEREDOC
* DOCS: ~Kernel::global_tick_count~
The process's frame counter. It grows by one every engine tick, also while the game
is paused, and a reset leaves it alone.
HEREDOC
  end

  def docs_export_docs!
    <<-HEREDOC
* DOCS: ~Kernel::export_docs!~
Writes every documentation topic of every documented class to docs/docs.txt, and the
same as a web page with a table of contents to docs/docs.html (beside the executable).
A docs/source.txt of your own, when there is one, is appended to both.
#+begin_src
  Kernel.export_docs!
#+end_src
On another documented class it writes only that class's topics, for example
~ZOQ::Outputs.export_docs!~ writes docs/ZOQ_Outputs.txt and leaves the command that
opens the file in the console's prompt.
HEREDOC
  end
end
