# The descriptive text form of a class that error messages show: its name, its superclass
# chain and the modules it includes.
class Class
  def to_s
    core = inspect # the interpreter's own name for the class
    begin
      if equal?(Fixnum) || equal?(Symbol) || equal?(Object) || equal?(Class) || equal?(Numeric)
        return "(class #{core})"
      end
      modules = included_modules.reject { |m| m.equal?(Kernel) || m.equal?(Object) }
      module_part = modules.empty? ? "" : " (included_modules #{modules}) "
      parent = superclass
      text = if parent.nil? || parent.equal?(Object)
               "(class #{core}#{module_part})"
             else
               "(class #{core} (superclass #{parent.to_s})#{module_part}) "
             end
      text.indent_lines(2)
    rescue StandardError
      core
    end
  end

  def serialize
    to_s
  end

  def defaults_alias_method_once
    { new_method_name: :original_method, target_method_name: :method }
  end

  def alias_method_once opts = {}
    opts = defaults_alias_method_once.merge(opts)
    return nil if ZOQ.const_defined?(:Outputs) && ZOQ::Outputs.method_defined?(opts[:new_method_name])
    alias_method opts[:new_method_name], opts[:target_method_name]
  end
end
