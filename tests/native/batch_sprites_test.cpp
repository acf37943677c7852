// The native batch writers against the Ruby readers, through the real interpreter: a sprites
// (or labels) collection mixing any forms must leave, record by record, the bytes that
// drawing each element through draw_sprite (draw_label) leaves, and the writer must take
// exactly the plain Hashes and marked Arrays (plain label Hashes) itself. scripts/fuzz.sh runs the generated mixes longer
// under the sanitizers (ZINTAREL_MIX_COLLECTIONS, and ZINTAREL_MIX_FIRST_SEED to split a run).
#include "render/render.h"
#include "support/host_test.h"

#include <gtest/gtest.h>
#include <mruby/array.h>
#include <mruby/string.h>
#include <stdlib.h>
#include <string>

// A sprite record's fields as text, for failure messages.
static void sprite_text(const frame_sprite &p, char *b, size_t n)
{
    snprintf(b, n, "sprite '%.*s' %g %g %g %g a %g %d %d %d %d t %g %g %g %g s %g %g %g %g f %u %u @ %g %g",
             p.path.text ? (int)p.path.length : 0, p.path.text ? p.path.text : "", p.x, p.y, p.w, p.h, p.angle, p.r,
             p.g, p.b, p.a, p.tile_x, p.tile_y, p.tile_w, p.tile_h, p.source_x, p.source_y, p.source_w, p.source_h,
             p.flip_horizontally, p.flip_vertically, p.angle_anchor_x, p.angle_anchor_y);
}

// Every record of the current frame stream as [bytes, text] (the text for messages; sprite
// records in full); the stream is emptied.
static mrb_value take_records(mrb_state *mrb, mrb_value self)
{
    threadstream *s = test_game.current_frame_stream;
    mrb_value records = mrb_ary_new(mrb);
    s->read_position = 0;
    while (!threadstream_eos(s) && !s->error) {
        size_t start = s->read_position;
        uint32_t code = frame_read_u32(s);
        frame_sprite p;
        frame_rect r;
        frame_label l;
        char text[600];
        snprintf(text, sizeof text, "record %u", code);
        switch (code) {
        case DRAW_SPRITE:
            frame_read_sprite(s, &p);
            sprite_text(p, text, sizeof text);
            break;
        case DRAW_SOLID:
        case DRAW_BORDER:
        case DRAW_LINE: frame_read_rect(s, &r); break;
        case DRAW_LABEL:
            frame_read_label(s, &l);
            snprintf(text, sizeof text, "label '%.*s' %g %g size %g align %d %d %d %d %d font '%.*s'", (int)l.text.length,
                     l.text.text ? l.text.text : "", l.x, l.y, l.size_enum, l.alignment_enum, l.r, l.g, l.b, l.a,
                     l.font.text ? (int)l.font.length : 0, l.font.text ? l.font.text : "(none)");
            break;
        default: s->read_position = s->length;
        }
        mrb_value bytes = mrb_str_new(mrb, (const char *)s->data + start, s->read_position - start);
        mrb_ary_push(mrb, records, mrb_assoc_new(mrb, bytes, mrb_str_new_cstr(mrb, text)));
    }
    s->length = s->read_position = 0;
    return records;
}

// The forms, the two paths and their comparison.
static const char prelude[] = R"RUBY(
$r = ZOQ::Runtime.allocate
$r.instance_variable_set(:@ffi_draw, FFI::Draw.new)
$raised = 0 # collections whose drawing raised, through both paths alike

module BigX
  def x
    999
  end
end

class Ship
  attr_sprite

  def initialize *fields
    @x, @y, @w, @h, @path, @angle, @a, @r = fields
  end
end

class MarkedSprite
  FIELDS = ZOQ::Host::SPRITE_ARGUMENTS

  def initialize values
    @values = values
  end

  def primitive_marker
    :sprite
  end

  FIELDS.each_with_index { |name, i| define_method(name) { @values[i] } }
end

class OwnDrawing
  def draw_override ffi_draw
    ffi_draw.draw_sprite_2 1, 2, 3, 4, "own.png", 45, 9
    ffi_draw.draw_solid 1, 2, 3, 4, 5, 6, 7, 8
  end
end

class SpriteHash < Hash
  def [] key
    key == :w ? 77 : super
  end
end

class SpriteList < Array
  def [] *args
    args[0] == 4 ? "list.png" : super
  end
end

class PlainList < Array; end

class PathString < String
  def to_s
    "other.png"
  end
end

def every_field
  [1.5, -2, 64, 0.0 / 0, "s.png", 30, 300, -5, 7.9, nil, 1, 2, 3, 4, 1, false, 0, 1, 5, 6, 7, 8]
end

def sprite_hash values
  MarkedSprite::FIELDS.zip(values).to_h
end

# name => [written by the batch writer itself, builder of a fresh element]
FORMS = {
  hash: [true, -> { { x: 100, y: 100, w: 32, h: 32, path: "s.png" } }],
  hash_every_field: [true, -> { sprite_hash(every_field).merge("x" => 99, other: 5, 1 => 2) }],
  hash_bare: [true, -> { { y: -2.5, x: 1e12, a: 2147483648 } }],
  hash_rect: [false, -> { { rect: [1, 2, 3, 4], path: "s.png" } }],
  hash_point_rgba: [false, -> { { point: [5, 6], w: 7, h: 8, path: "s.png", rgba: [1, 2, 3, 4] } }],
  hash_default: [false, -> { h = Hash.new(7); h[:path] = "s.png"; h }],
  hash_own_reader: [false, -> { h = { x: 1, y: 2, w: 3, h: 4, path: "s.png" }; def h.[](k) k == :x ? 500 : super; end; h }],
  hash_draw_override: [false, -> { h = { x: 1, path: "s.png" }; def h.draw_override(d) d.draw_solid(*[9] * 8); end; h }],
  hash_subclass: [false, -> { h = SpriteHash.new; h[:x] = 5; h[:w] = 6; h[:path] = "s.png"; h }],
  hash_symbol_path: [false, -> { { x: 1, y: 2, w: 3, h: 4, path: :target } }],
  hash_string_subclass_path: [false, -> { { x: 1, y: 2, w: 3, h: 4, path: PathString.new("s.png") } }],
  array: [true, -> { [300, 100, 64, 64, "s.png"].sprite }],
  array_every_field: [true, -> { every_field.sprite }],
  array_short: [true, -> { [1, 2].sprite }],
  array_from_pairs: [true, -> { [[300, 100], [64, 64], "s.png"].sprite }],
  array_extended_before_marking: [true, -> { [1, 2, 3, 4, "s.png"].extend(BigX).sprite }],
  array_subclass: [true, -> { PlainList.new.push(1, 2, 3, 4, "s.png").sprite }],
  array_unmarked: [false, -> { [300, 100, 64, 64, "s.png"] }],
  array_of_arrays: [false, -> { [[300, 100], [64, 64], "s.png"] }],
  array_solid_then_sprite: [false, -> { [1, 2, 3, 4, "s.png", 0, 128, 1, 2, 3].solid.sprite }],
  array_own_reader_below_sprite: [false, -> { [1, 2, 3, 4, "s.png"].point.extend(BigX).sprite }],
  array_own_reader_above_sprite: [false, -> { [1, 2, 3, 4, "s.png"].sprite.extend(BigX) }],
  array_singleton_reader: [false, -> { a = [1, 2, 3, 4, "s.png"].sprite; def a.path; "mine.png"; end; a }],
  array_draw_override: [false, -> { a = [1, 2, 3, 4, "s.png"].sprite; def a.draw_override(d) d.draw_solid(*[3] * 8); end; a }],
  array_subclass_reader: [false, -> { SpriteList.new.push(1, 2, 3, 4, "s.png").sprite }],
  array_symbol_path: [false, -> { [1, 2, 3, 4, :target].sprite }],
  attr_sprite: [false, -> { Ship.new(5, 6, 7, 8, "ship.png", 90, 128) }],
  primitive_marker: [false, -> { MarkedSprite.new(every_field) }],
  draw_override: [false, -> { OwnDrawing.new }],
  nil: [false, -> { nil }],
  false: [false, -> { false }],
}

def sprites_collection
  ZOQ::FlatArray.new(:sprites, :mark_as_sprite!, {})
end

def labels_collection
  ZOQ::FlatArray.new(:labels, :mark_as_label!, {})
end

class LabelShip
  attr_accessor :x, :y, :text, :size_enum, :alignment_enum, :r, :g, :b, :a, :font

  def initialize *fields
    @x, @y, @text, @size_enum, @alignment_enum, @r, @g, @b, @a, @font = fields
  end
end

class Title < String; end

# name => [written by the label writer itself, builder of a fresh element]
LABEL_FORMS = {
  hash: [true, -> { { x: 100, y: 200, text: "score 12" } }],
  hash_every_field: [true, -> { { x: 1.5, y: -2, text: "é ok", size_enum: 3, alignment_enum: 1, r: 300, g: -5,
                                  b: 7.9, a: 0.0 / 0, font: "fonts/f.ttf", other: 5, "x" => 9 } }],
  hash_bare: [true, -> { {} }],
  hash_nil_text_false_font: [true, -> { { x: 1, y: 2, text: nil, font: false, r: 1, g: 2, b: 3 } }],
  hash_false_text: [true, -> { { x: 1, y: 2, text: false } }],
  hash_rect: [false, -> { { rect: [1, 2, 3, 4], text: "r" } }],
  hash_point: [false, -> { { point: [5, 6], text: "p" } }],
  hash_rgb: [false, -> { { x: 1, y: 1, rgb: [1, 2, 3], text: "c" } }],
  hash_rgba_beside_colour: [true, -> { { x: 1, y: 1, r: 1, g: 2, b: 3, a: 4, rgba: [9, 9, 9, 9], text: "c" } }],
  hash_number_text: [false, -> { { x: 1, y: 1, text: 1234 } }],
  hash_symbol_text: [false, -> { { x: 1, y: 1, text: :sym } }],
  hash_subclass_text: [false, -> { { x: 1, y: 1, text: Title.new("title") } }],
  hash_symbol_font: [false, -> { { x: 1, y: 1, text: "f", font: :font } }],
  hash_default: [false, -> { h = Hash.new(7); h[:text] = "d"; h }],
  hash_own_reader: [false, -> { h = { x: 1, y: 2, text: "o" }; def h.[](k) k == :x ? 500 : super; end; h }],
  hash_draw_override: [false, -> { h = { x: 1, text: "o" }; def h.draw_override(d) d.draw_solid(*[9] * 8); end; h }],
  hash_subclass: [false, -> { h = SpriteHash.new; h[:x] = 5; h[:text] = "s"; h }],
  array: [false, -> { [10, 20, "array", 2, 1, 5, 6, 7, 8].label }],
  object: [false, -> { LabelShip.new(1, 2, "ship", 0, 0, 9, 9, 9, 255, nil) }],
  nil: [false, -> { nil }],
}

# The records (and the error) of drawing c through the Ruby readers, one draw_sprite (or
# draw_label) each.
def by_readers c, kind
  error = nil
  begin
    c.each { |s| kind == :label ? $r.draw_label(s) : $r.draw_sprite(s) }
  rescue Exception => e
    error = e.class
  end
  [take_records, error]
end

# The same through the submission loop, where the batch writer takes what it can.
def by_batch c, kind
  error = nil
  begin
    $r.__draw_all__ c, kind, nil
  rescue Exception => e
    error = e.class
  end
  [take_records, error]
end

# nil when the two paths agree; otherwise what differs, for the collection named what.
def compare what, build, kind = :sprite
  readers, readers_error = by_readers(build.call, kind)
  batch, batch_error = by_batch(build.call, kind)
  $raised += 1 if readers_error
  return "#{what}: readers raised #{readers_error.inspect}, batch #{batch_error.inspect}" if readers_error != batch_error
  n = [readers.length, batch.length].max
  n.times do |i|
    next if readers[i] && batch[i] && readers[i][0] == batch[i][0]
    return "#{what}: record #{i} of #{readers.length}/#{batch.length} differs: readers #{(readers[i] || [])[1]}, batch #{(batch[i] || [])[1]}"
  end
  nil
end
)RUBY";

class BatchSprites : public HostTest {
  protected:
    void SetUp() override
    {
        HostTest::SetUp();
        test_game.current_frame_stream = threadstream_allocate();
        mrb_state *mrb = test_game.interpreter;
        mrb_define_method(mrb, mrb->kernel_module, "take_records", take_records, MRB_ARGS_NONE());
        ASSERT_EQ("nil", host_fixture_eval(std::string(prelude) + "\nnil"));
    }
    void TearDown() override
    {
        threadstream_free(test_game.current_frame_stream);
        test_game.current_frame_stream = nullptr;
        HostTest::TearDown();
    }
};

// Every ordered triple of forms: each form before and after every other, and in runs of
// its own kind. The batch writer must take the collection up to its first element that is
// not a plain Hash or marked Array, and the whole collection must draw as the readers draw.
TEST_F(BatchSprites, EveryMixOfFormsInEveryOrderDrawsAsTheReadersDraw)
{
    std::string failures = host_fixture_eval(R"RUBY(
      failures = []
      names = FORMS.keys
      mixes = []
      names.each { |a| names.each { |b| names.each { |c| mixes << [a, b, c] } } }
      mixes.each do |mix|
        what = mix.join(", ")
        build = -> { c = sprites_collection; mix.each { |name| c.push FORMS[name][1].call }; c }
        expected = mix.index { |name| !FORMS[name][0] } || mix.length
        taken = $r.instance_variable_get(:@ffi_draw).draw_plain_sprites(build.call, 0, mix.length, ZOQ::Primitive::SpriteArray)
        take_records
        failures << "#{what}: the batch writer took #{taken}, not #{expected}" if taken != expected
        failure = compare(what, build)
        failures << failure if failure
        break if failures.length >= 10
      end
      failures
    )RUBY");
    EXPECT_EQ("[]", failures);
}

// Random collections of every form, random lengths and orders, random field values (nil,
// false, Floats, NaN, infinities, numbers past 32 and 64 bits, Strings and Symbols where
// numbers go, paths of every type), some added through <<, as a game adds them.
TEST_F(BatchSprites, GeneratedMixesDrawAsTheReadersDraw)
{
    // A long run may be split over processes, each from its own first seed.
    const char *count = getenv("ZINTAREL_MIX_COLLECTIONS"), *first = getenv("ZINTAREL_MIX_FIRST_SEED");
    std::string range = "FIRST = " + std::to_string(first ? atol(first) : 0) +
                        "; COUNT = " + std::to_string(count ? atol(count) : 1000);
    std::string figures = host_fixture_eval(range + R"RUBY(
      VALUES = [nil, nil, false, true, 0, 1, -1, 7, 255, 300, -300, 2147483647, 2147483648, -2147483649,
                9223372036854775807, -9223372036854775807 - 1, 0.5, -0.5, 1.0e12, -1.0e12, 3.5e38, 1e300,
                -1e300, 0.0 / 0, 1.0 / 0, -1.0 / 0, 1e-45, -0.0, "12", "", :sym, [1, 2], {}]
      ODD_PATHS = [nil, false, "", :target, 5, 2.5, "x" * 300, [1]]
      OTHER_KEYS = [:rect, :point, :rgb, :rgba, "x", :other, 1, nil, :primitive_marker]

      def value rng
        case rng.rand(4)
        when 0 then rng.rand(4000) - 2000
        when 1 then rng.rand * 4000 - 2000
        else
          v = VALUES[rng.rand(VALUES.length)]
          v.is_a?(Array) || v.is_a?(Hash) ? v.dup : v
        end
      end

      def path_value rng
        case rng.rand(10)
        when 0..5 then "s.png"
        when 6 then PathString.new("s.png")
        else ODD_PATHS[rng.rand(ODD_PATHS.length)]
        end
      end

      def field key, rng
        case key
        when :path then path_value(rng)
        when :rect, :point, :rgb, :rgba then rng.rand(40) > 0 ? Array.new(rng.rand(5)) { value(rng) } : value(rng)
        else value(rng)
        end
      end

      # Mostly position, size and path, some of the other fields, rarely the keys that send
      # a Hash to its readers; in a random order.
      def random_hash rng
        h = rng.rand(20) == 0 ? Hash.new(value(rng)) : {}
        keys = MarkedSprite::FIELDS.select { |key| rng.rand(8) < ([:x, :y, :w, :h, :path].include?(key) ? 7 : 2) }
        keys += OTHER_KEYS.select { rng.rand(12) == 0 }
        keys.shuffle(rng).each { |key| h[key] = field(key, rng) }
        def h.[](k) k == :y ? -7 : super; end if rng.rand(30) == 0
        h
      end

      def random_array rng
        a = Array.new(rng.rand(25)) { value(rng) }
        a[4] = path_value(rng) if a.length > 4 && rng.rand(4) > 0
        a = [[a[0], a[1]], [a[2], a[3]]] + (a[4..-1] || []) if a.length >= 4 && rng.rand(10) == 0
        case rng.rand(12)
        when 0 then a
        when 1 then a.point.extend(BigX).sprite
        when 2 then a.sprite.extend(BigX)
        when 3 then a.extend(BigX).sprite
        when 4 then a.solid.sprite
        when 5 then PlainList.new.concat(a).sprite
        when 6 then a.sprite.tap { |s| def s.angle; 12; end }
        else a.sprite
        end
      end

      def random_element rng
        case rng.rand(20)
        when 0..7 then random_hash(rng)
        when 8..15 then random_array(rng)
        when 16 then Ship.new(*Array.new(8) { value(rng) })
        when 17 then MarkedSprite.new(Array.new(22) { value(rng) })
        when 18 then OwnDrawing.new
        else rng.rand(2) == 0 ? nil : false
        end
      end

      def random_collection seed
        rng = Random.new(seed)
        c = sprites_collection
        length = rng.rand(10) == 0 ? rng.rand(300) : rng.rand(40)
        length.times do
          e = random_element(rng)
          if rng.rand(5) == 0
            begin
              c << e
            rescue Exception
            end
          else
            c.push e
          end
        end
        $elements = c.length
        c
      end

      # The batch writer's own share, counted as it answers.
      $taken = 0
      d = $r.instance_variable_get(:@ffi_draw)
      def d.draw_plain_sprites c, from, to, module_
        j = super
        $taken += j - from
        j
      end

      failures = []
      elements = 0
      COUNT.times do |k|
        seed = FIRST + k
        failure = compare("seed #{seed}", -> { random_collection(seed) })
        elements += $elements
        failures << failure if failure
        break if failures.length >= 5
      end
      [failures, COUNT, elements, $taken, $raised]
    )RUBY");
    // [failures, collections, elements, elements the batch writer wrote itself, collections
    // whose drawing raised]
    printf("generated mixes: %s\n", figures.c_str());
    EXPECT_EQ(0u, figures.find("[[], ")) << figures;
}

// Labels: every ordered triple of forms; the label writer takes the collection up to its
// first element that is not a plain Hash it can read as draw_label does.
TEST_F(BatchSprites, EveryMixOfLabelFormsInEveryOrderDrawsAsTheReadersDraw)
{
    std::string failures = host_fixture_eval(R"RUBY(
      failures = []
      names = LABEL_FORMS.keys
      names.each { |a| names.each { |b| names.each { |c|
        mix = [a, b, c]
        what = mix.join(", ")
        build = -> { l = labels_collection; mix.each { |name| l.push LABEL_FORMS[name][1].call }; l }
        expected = mix.index { |name| !LABEL_FORMS[name][0] } || mix.length
        taken = $r.instance_variable_get(:@ffi_draw).draw_plain_labels(build.call, 0, mix.length)
        take_records
        failures << "#{what}: the label writer took #{taken}, not #{expected}" if taken != expected
        failure = compare(what, build, :label)
        failures << failure if failure
      } } }
      failures.first(10)
    )RUBY");
    EXPECT_EQ("[]", failures);
}

// Random label Hashes (random keys and values of every kind, now and then a Hash the
// readers must take) mixed with the other forms, compared record by record.
TEST_F(BatchSprites, GeneratedLabelMixesDrawAsTheReadersDraw)
{
    std::string figures = host_fixture_eval(R"RUBY(
      VALUES = [nil, false, true, 0, 1, -1, 255, 300, 2147483648, 0.5, -1.0e12, 0.0 / 0, 1.0 / 0, "12", "", "text",
                :sym, Title.new("t"), [1, 2], {}]
      KEYS = [:x, :y, :text, :size_enum, :alignment_enum, :r, :g, :b, :a, :font]
      OTHER_KEYS = [:rect, :point, :rgb, :rgba, "x", :w]
      failures = []
      $label_taken = 0
      d = $r.instance_variable_get(:@ffi_draw)
      def d.draw_plain_labels c, from, to
        j = super
        $label_taken += j - from
        j
      end
      1000.times do |seed|
        build = -> {
          rng = Random.new(seed)
          l = labels_collection
          (rng.rand(30)).times do
            if rng.rand(6) == 0
              l.push LABEL_FORMS.values[rng.rand(LABEL_FORMS.length)][1].call
            else
              h = {}
              KEYS.each { |k| h[k] = rng.rand(2) == 0 ? rng.rand(600) - 100 : VALUES[rng.rand(VALUES.length)] if rng.rand(3) > 0 }
              OTHER_KEYS.each { |k| h[k] = VALUES[rng.rand(VALUES.length)] if rng.rand(12) == 0 }
              h[:text] = "label #{seed}" if rng.rand(3) > 0
              h[:font] = [nil, false, "f.ttf"][rng.rand(3)] if rng.rand(3) > 0
              l.push h
            end
          end
          l
        }
        failure = compare("seed #{seed}", build, :label)
        failures << failure if failure
        break if failures.length >= 5
      end
      [failures, $label_taken > 2000]
    )RUBY");
    EXPECT_EQ("[[], true]", figures);
}

// A game that gives s_or_default a meaning of its own sees it in every label's text.
TEST_F(BatchSprites, AnSOrDefaultOfTheGamesOwnReachesEveryLabel)
{
    std::string failure = host_fixture_eval(R"RUBY(
      class String
        def s_or_default default = ""
          "mine"
        end
      end
      compare "own s_or_default", -> { l = labels_collection; l.push({ x: 1, y: 2, text: "a" }); l }, :label
    )RUBY");
    EXPECT_EQ("nil", failure);
}

// A runtime whose draw_sprite is the game's own (here: every sprite one pixel to the right)
// draws every sprite through it, the plain ones too.
TEST_F(BatchSprites, ADrawSpriteOfTheGamesOwnDrawsEverySprite)
{
    std::string failure = host_fixture_eval(R"RUBY(
      def $r.draw_sprite s
        s = s.merge(x: s[:x] + 1) if s.is_a?(Hash)
        super s
      end
      compare "own draw_sprite", -> { c = sprites_collection; c.push FORMS[:hash][1].call, FORMS[:array][1].call; c }
    )RUBY");
    EXPECT_EQ("nil", failure);
}

// The writer draws c[from...to] only: the framework passes the length the collection had
// when drawing began, and asks again from each element it left to draw_sprite.
TEST_F(BatchSprites, OnlyTheRangeAskedForIsWritten)
{
    std::string results = host_fixture_eval(R"RUBY(
      d = $r.instance_variable_get(:@ffi_draw)
      c = sprites_collection
      c.push({ x: 0, y: 0, w: 1, h: 1, path: "a.png" }, [1, 0, 1, 1, "b.png"].sprite, { x: 2, y: 0, w: 1, h: 1, path: "c.png" })
      # [from, to] => [answer, the paths written]
      [[0, 1], [1, 2], [0, 2], [2, 3], [0, 3], [0, 0], [1, 1], [2, 9], [3, 4]].map do |from, to|
        taken = d.draw_plain_sprites(c, from, to, ZOQ::Primitive::SpriteArray)
        [from, to, taken, take_records.map { |_, text| text.split("'")[1] }]
      end
    )RUBY");
    EXPECT_EQ("[[0, 1, 1, [\"a.png\"]], [1, 2, 2, [\"b.png\"]], [0, 2, 2, [\"a.png\", \"b.png\"]], [2, 3, 3, [\"c.png\"]], "
              "[0, 3, 3, [\"a.png\", \"b.png\", \"c.png\"]], [0, 0, 0, []], [1, 1, 1, []], [2, 9, 3, [\"c.png\"]], "
              "[3, 4, 3, []]]",
              results);
}
