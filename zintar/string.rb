# Marks the values saved as they are (strings, symbols, numbers, true and false); the
# classes that load after this file include it too.
module ValueType; end

# Line wrapping and indenting, and a few small conveniences.
class String
  include ValueType

  def self.wrapped_lines string, length
    lines = []
    string.each_line do |line|
      line = line.rstrip
      if line.length < length
        lines << line + "\n"
      else
        words = line.split(" ")
        wrapped_lines_recur words[0], words[1, words.length] || [], length, lines
      end
    end
    lines
  end

  # Fills lines greedily, starting with word and going on with the words of rest, into
  # aggregate. A loop, not recursion: a line of thousands of words must not run out of
  # call depth.
  def self.wrapped_lines_recur word, rest, length, aggregate
    return aggregate unless word
    current = word
    rest.each do |next_word|
      candidate = current + " " + next_word
      if candidate.length > length
        aggregate << current + "\n"
        current = next_word
      else
        current = candidate
      end
    end
    aggregate << current + "\n"
  end

  def wrapped_lines length
    String.wrapped_lines self, length
  end

  def wrap length
    wrapped_lines(length).join.rstrip
  end

  def multiline?
    include? "\n"
  end

  def indent_lines amount, char = " "
    prefix = char * amount
    out = ""
    first = true
    each_line do |line|
      out << (first ? line : prefix + line)
      first = false
    end
    out
  end

  def end_with_bang?
    self[-1] == "!"
  end

  def without_ending_bang
    end_with_bang? ? self[0..-2] : self
  end

  def quote
    "\"#{self}\""
  end

  alias trim strip
  alias trim! strip!
  alias ltrim lstrip
  alias ltrim! lstrip!
  alias rtrim rstrip
  alias rtrim! rstrip!

  def serialize
    self
  end
end
