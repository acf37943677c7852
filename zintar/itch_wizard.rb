module ZOQ
  # The store publishing wizard.
  #
  # First version: present so args.wizards answers; its steps come with the publishing tools.
  class ItchWizard
    def start
      log_info "The itch wizard is not available in this build."
      nil
    end
  end
end
