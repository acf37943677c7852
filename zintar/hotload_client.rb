module ZOQ
  # The device side of remote hot reload.
  #
  # First version: it knows its own address and holds args; polling the development
  # machine comes with the remote reload client.
  class HotloadClient
    attr_accessor :args

    def initialize local_ip_address
      @local_ip_address = local_ip_address
    end

    def tick
      nil
    end

    def should_tick?
      false
    end
  end
end
