module ZOQ
  class Runtime
    # The legacy sound queue: queue_sound, queue_music, stop_music and outputs.sounds
    # become args.audio entries once a tick, so the host only ever reads args.audio.
    # The queue's state starts on first use, which is also right after a hot reload.

    def sound_queue
      @sound_queue ||= []
    end

    def queue_sound path
      sound_queue << [path, 0, 0]
    end

    def queue_music path, repeat
      return nil if path == @current_music
      sound_queue << [path, 1, repeat ? 1 : 0]
      @current_music = path
    end

    def stop_music
      sound_queue << ["", 2, 0]
      @current_music = nil
    end

    def dequeue_sounds pass
      sounds = pass.sounds
      return if sounds.nil? || sounds.empty?
      sounds.each do |sound|
        path = (sound.respond_to?(:path) ? sound.path : sound).to_s
        if path.end_with? ".wav"
          queue_sound path
        elsif path.end_with? ".ogg"
          queue_music path, true
        end
      end
      sounds.clear
    end

    def migrate_legacy_sounds
      args.passes.each { |pass| dequeue_sounds pass }
      return if sound_queue.empty?
      queue = @sound_queue
      @sound_queue = []
      queue.each do |path, type, repeat|
        case type
        when 0
          @legacy_sound_index = (@legacy_sound_index || 0) + 1
          args.audio[:"ZOQ_LEGACY_AUDIO_API_SOUND_#{@legacy_sound_index}"] = { input: path }
        when 1
          args.audio[:ZOQ_LEGACY_AUDIO_API_MUSIC] = { input: path, looping: repeat != 0 }
        when 2
          args.audio.delete :ZOQ_LEGACY_AUDIO_API_MUSIC
        end
      end
    end
  end
end
