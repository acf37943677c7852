module ArrayDocs
  def docs_method_sort_order
    [:docs_class, :docs_map, :docs_each, :docs_reject_nil, :docs_reject_false, :docs_product,
     :docs_map_2d, :docs_include_any?, :docs_any_intersect_rect?]
  end

  def docs_class
    <<-HEREDOC
* DOCS: ~Array~
Games describe most of their objects as Hashes and Arrays. Besides the core methods,
an Array can pair, filter, combine and search its elements; the topics below show how.
HEREDOC
  end

  def docs_map
    <<-HEREDOC
* DOCS: ~Array#map~
Answers a new Array with the block's result for every element.
#+begin_src
  [1, 2, 3].map { |n| n * 2 } # => [2, 4, 6]
#+end_src
HEREDOC
  end

  def docs_each
    <<-HEREDOC
* DOCS: ~Array#each~
Runs the block once for every element, in order.
#+begin_src
  args.state.enemies.each { |enemy| enemy.x -= 1 }
#+end_src
HEREDOC
  end

  def docs_reject_nil
    <<-HEREDOC
* DOCS: ~Array#reject_nil~
Answers the Array without its nil entries.
#+begin_src
  [1, nil, 2, false].reject_nil # => [1, 2, false]
#+end_src
HEREDOC
  end

  def docs_reject_false
    <<-HEREDOC
* DOCS: ~Array#reject_false~
Answers the Array without its nil and false entries.
#+begin_src
  [1, nil, 2, false].reject_false # => [1, 2]
#+end_src
HEREDOC
  end

  def docs_product
    <<-HEREDOC
* DOCS: ~Array#product~
Answers every pair of an element of this Array and one of another (this Array when
none is given). With a block, the block's results for each pair, flattened.
#+begin_src
  [1, 2].product          # => [[1, 1], [1, 2], [2, 1], [2, 2]]
  [0, 1].product([0, 1]) { |x, y| { x: x * 32, y: y * 32 } }
#+end_src
HEREDOC
  end

  def docs_map_2d
    <<-HEREDOC
* DOCS: ~Array#map_2d~
For an Array of rows, answers the block's results for every cell in one flat Array.
The block receives the row index, the column index and the value.
#+begin_src
  [[1, 2], [3, 4]].map_2d { |row, col, value| value * 10 } # => [10, 20, 30, 40]
#+end_src
HEREDOC
  end

  def docs_include_any?
    <<-HEREDOC
* DOCS: ~Array#include_any?~
Answers whether any of the given values is an element.
#+begin_src
  args.inputs.keyboard.keys[:down].include_any?(:a, :left)
#+end_src
HEREDOC
  end

  def docs_any_intersect_rect?
    <<-HEREDOC
* DOCS: ~Array#any_intersect_rect?~
Answers whether any rectangle of the Array overlaps the given one.
#+begin_src
  args.state.walls.any_intersect_rect?(args.state.player)
#+end_src
HEREDOC
  end
end
