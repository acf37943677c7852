# Mixin for objects that hold args: short readers for its parts.
module AttrZOQ
  attr_accessor :args

  def inputs
    args.inputs
  end

  def outputs
    args.outputs
  end

  def state
    args.state
  end

  def grid
    args.grid
  end

  def zoq
    args.zoq
  end

  def passes
    args.passes
  end

  def pixel_arrays
    args.pixel_arrays
  end

  def geometry
    args.geometry
  end

  def layout
    args.layout
  end

  def keyboard
    args.inputs.keyboard
  end
end
