def tick args
  args.state.frames ||= 0
  args.state.frames += 1
  args.outputs.background_color = [30, 60, 90]
  puts "hello from tick #{args.tick_count}" if args.tick_count % 60 == 0
end
