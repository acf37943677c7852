# The interpreter the runtime embeds: values without boxing (full doubles, Symbols that hash
# apart), Rational and Complex, and the gems the framework calls.
MRuby::Build.new do |conf|
  conf.toolchain :gcc
  conf.gembox 'default'
  conf.gem core: 'mruby-error'      # mrb_protect, mrb_ensure, mrb_rescue
  conf.gem core: 'mruby-exit'
  conf.gem core: 'mruby-sleep'
  conf.gem core: 'mruby-enum-chain'
  conf.gem core: 'mruby-catch'
  conf.defines += %w[MRB_NO_BOXING MRB_USE_RATIONAL MRB_USE_COMPLEX]
  # Position independent: native extensions link against the executable's copy.
  conf.cc.flags = [%w[-std=gnu99 -O2 -g -fPIC -Wall -Wundef -Wwrite-strings]]
  conf.enable_test
end
