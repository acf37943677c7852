#!/bin/sh
# The render thread's cost per sprite, per label character and per solid (10,000 records),
# under Xvfb with the OpenGL renderer, with the software renderer, and under the dummy driver.
# Usage: bench/render_cost.sh [build-dir]
build="${1:-build}"
xvfb-run -a -s "-screen 0 1920x1080x24" sh -c "
  ALSOFT_DRIVERS=null $build/bench/render_cost
  SDL_RENDER_DRIVER=software ALSOFT_DRIVERS=null $build/bench/render_cost"
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null "$build/bench/render_cost"
