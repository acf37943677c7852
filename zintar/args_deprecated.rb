module ZOQ
  # Accessors of args that were renamed.
  module ArgsDeprecated
    def zintar
      raise "* ERROR:\nArgs#zintar has been deprecated use Args#zoq instead (just rename args.zintar to args.zoq and you should be good to go).\n\n"
    end

    def game
      raise "* ERROR:\nArgs#game has been deprecated use Args#state instead (just rename args.game to args.state and you should be good to go).\n\n"
    end
  end
end
