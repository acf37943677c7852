# Draws the guide pictures of the iOS publishing wizard: for each, a plain card the size the
# wizard shows it, with the words of its step, saved by the game's own screenshot into
# cards/ of this folder. scripts/guide_pictures.sh runs it and files the cards.

# name, width, height, lines of words (the first is the card's heading)
CARDS = [
  ["xcode.png", 75, 75, ["Xcode"]],
  ["xcode-downloads.png", 700, 359, ["Download Xcode", "Xcode 11.3 or later, from the developer", "downloads page (not from the App Store)."]],
  ["brew.png", 700, 388, ["Install Homebrew", "Copy the install command that starts", "with /bin/bash -c from Homebrew's site."]],
  ["terminal.png", 700, 99, ["Terminal", "Open Terminal and run the command."]],
  ["disk-utility.png", 700, 148, ["Disk Utility", "Open Disk Utility and run First Aid."]],
  ["login-xcode.png", 700, 98, ["Xcode > Preferences > Accounts", "Log into your developer account."]],
  ["manage-certificates.png", 700, 115, ["Manage Certificates...", "Select it after logging in."]],
  ["add-cert.png", 700, 217, ["Add a certificate", "+ Apple Development"]],
  ["brew-install-libimobiledevice.png", 500, 93, ["Terminal", "brew install libimobiledevice"]],
  ["identifiers.png", 700, 75, ["Certificates, IDs & Profiles: App IDs"]],
  ["device-link.png", 365, 69, ["Add your device", "idevice_id -l gives its UUID"]],
  ["profiles.png", 300, 122, ["Create a Profile", "Certificates, App ID", "and device together."]],
  ["profiles-folder.png", 200, 124, ["profiles/", "development", ".mobileprovision"]],
].freeze

# Where the cards are drawn: clear of the corner where the runtime shows its notifications.
ORIGIN_X = 400
ORIGIN_Y = 300
PAPER = [246, 247, 249].freeze
EDGE = [150, 156, 166].freeze
HEADING = [28, 60, 110].freeze
WORDS = [40, 44, 52].freeze

# The largest label size (from 4 down) at which every line fits the card, with room around.
def fitting_size args, width, height, lines
  4.downto(-4).find do |size|
    widths = lines.map { |line| args.zoq.calcstringbox(line, size)[0] }
    line_height = args.zoq.calcstringbox("Xg", size)[1]
    widths.max <= width - 16 && line_height * lines.length <= height - 8
  end || -4
end

def draw_card args, card
  name, w, h, lines = card
  x = ORIGIN_X
  y = ORIGIN_Y
  args.outputs.solids << { x: x, y: y, w: w, h: h, r: EDGE[0], g: EDGE[1], b: EDGE[2] }
  args.outputs.solids << { x: x + 2, y: y + 2, w: w - 4, h: h - 4, r: PAPER[0], g: PAPER[1], b: PAPER[2] }
  size = fitting_size(args, w, h, lines)
  line_height = args.zoq.calcstringbox("Xg", size)[1]
  top = h / 2 + line_height * lines.length / 2
  lines.each_with_index do |line, i|
    colour = i == 0 ? HEADING : WORDS
    args.outputs.labels << { x: x + w / 2, y: y + top - i * line_height, text: line, size_enum: size, alignment_enum: 1,
                             r: colour[0], g: colour[1], b: colour[2] }
  end
  args.outputs.screenshots << { x: x, y: y, w: w, h: h, path: "cards/#{name}" }
end

def tick args
  args.outputs.background_color = [255, 255, 255]
  index = args.tick_count - 2
  draw_card args, CARDS[index] if index >= 0 && index < CARDS.length
  $zoq.request_quit if index >= CARDS.length + 2
end
