module ZOQ
  # The iOS publishing wizard.
  #
  # First version: present so args.wizards answers; its steps come with the publishing tools.
  class IOSWizard
    def start
      log_info "The iOS wizard is not available in this build."
      nil
    end
  end

  # The publishing wizards of args.wizards and $wizards.
  class Wizards
    attr_accessor :ios, :itch

    def initialize
      @ios = IOSWizard.new
      @itch = ItchWizard.new
    end
  end
end
