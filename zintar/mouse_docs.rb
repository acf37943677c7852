module ZOQ
  module MouseDocs
    def docs_class
      <<-HEREDOC
* DOCS: ~ZOQ::Mouse~
~args.inputs.mouse~ is where the mouse is and what it did this frame:
- ~x~ and ~y~: the position, from the bottom left.
- ~click~ (also ~down~): the point of a press this frame, else nil; ~up~: the point of a
  release; ~previous_click~: the click before.
- ~button_left~, ~button_middle~, ~button_right~: whether each button is held.
- ~wheel~: the wheel's ~x~ and ~y~ this frame, else nil. ~moved~: whether it moved.
- ~inside_rect? rect~ and ~intersect_rect? rect~: where the mouse is.
#+begin_src
  def tick args
    button = { x: 540, y: 320, w: 200, h: 80 }
    args.outputs.solids << button
    if args.inputs.mouse.click && args.inputs.mouse.inside_rect?(button)
      args.state.clicked_at = args.tick_count
    end
  end
#+end_src
HEREDOC
    end
  end

  class Mouse
    extend Docs
    extend MouseDocs
  end
end
