#include "app/scene_file.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "physics/constraint.h"
#include "physics/verlet.h"
#include "runtime/text.h"

namespace {

// Numbers with a fraction or exponent are read straight into float (strtof), so that the text
// of a float reads back to its own bits without passing through double.
using Json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

// A failed check; LoadScene turns it into the load's error.
struct SceneError {
    std::string message;
};

// Text from the file shown in a message: printable ASCII only, and not too long.
std::string Shown(std::string_view text) { return MessageText(text, 160, true); }

// Line and column (from 1) of byte `offset`.
std::pair<size_t, size_t> LineColumn(std::string_view text, size_t offset) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

// The deepest nesting of arrays and objects outside strings, with the offset where a limit is
// first passed; the parser is never asked to build more than the format can use.
std::optional<size_t> TooDeep(std::string_view text, int32_t limit) {
    int32_t depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return i;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return std::nullopt;
}

class Reader {
  public:
    Reader(const std::string& name, std::vector<std::string>& warnings)
        : name_(name), warnings_(warnings) {}

    [[noreturn]] void Fail(const std::string& path, const std::string& what) const {
        throw SceneError{name_ + ": " + path + ": " + what};
    }

    // The object at `path`, after warning about fields not in `known`.
    const Json& Object(const Json& v, const std::string& path,
                       std::initializer_list<const char*> known) {
        if (!v.is_object()) Fail(path, "must be an object");
        for (const auto& [key, value] : v.items()) {
            bool found = false;
            for (const char* k : known) found = found || key == k;
            if (!found) {
                warnings_.push_back(name_ + ": " + path + ": unknown field '" + Shown(key) +
                                    "' ignored");
            }
        }
        return v;
    }

    const Json* Find(const Json& obj, const char* key) const {
        const auto it = obj.find(key);
        return it == obj.end() ? nullptr : &*it;
    }

    const Json& Need(const Json& obj, const std::string& path, const char* key) const {
        const Json* v = Find(obj, key);
        if (v == nullptr) Fail(path, std::string("the required field '") + key + "' is missing");
        return *v;
    }

    float Float(const Json& v, const std::string& path) const {
        float f = 0.0f;
        if (v.is_number_float()) {
            f = v.get<float>();
        } else if (v.is_number_integer()) {
            // Whole numbers of any size convert with one rounding to the nearest float.
            f = v.is_number_unsigned() ? static_cast<float>(v.get<std::uint64_t>())
                                       : static_cast<float>(v.get<std::int64_t>());
        } else {
            Fail(path, "must be a number");
        }
        if (!std::isfinite(f)) Fail(path, "must be a finite number");
        return f;
    }

    int64_t Whole(const Json& v, const std::string& path, int64_t lo, int64_t hi) const {
        if (!v.is_number_integer()) Fail(path, "must be a whole number");
        if (v.is_number_unsigned() && v.get<std::uint64_t>() > static_cast<uint64_t>(hi)) {
            Fail(path, "must be at most " + std::to_string(hi));
        }
        const int64_t n = v.get<std::int64_t>();
        if (n < lo || n > hi) {
            Fail(path, "must be in " + std::to_string(lo) + ".." + std::to_string(hi));
        }
        return n;
    }

    uint8_t Flag(const Json& v, const std::string& path) const {
        if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
        return static_cast<uint8_t>(Whole(v, path, 0, 255));
    }

    SceneVec Vec(const Json& v, const std::string& path) const {
        if (!v.is_array() || v.size() != 2) Fail(path, "must be an array of two numbers [x, y]");
        return {Float(v[0], path + "[0]"), Float(v[1], path + "[1]")};
    }

    // Indices into an array of `count` elements.
    std::vector<int32_t> Indices(const Json& v, const std::string& path, size_t count,
                                 const char* what) const {
        if (!v.is_array()) Fail(path, "must be an array of indices");
        std::vector<int32_t> out;
        out.reserve(v.size());
        for (size_t i = 0; i < v.size(); ++i) {
            const std::string at = path + "[" + std::to_string(i) + "]";
            if (!v[i].is_number_integer()) Fail(at, "must be a whole number");
            const bool neg = !v[i].is_number_unsigned() && v[i].get<std::int64_t>() < 0;
            if (neg || v[i].get<std::uint64_t>() >= count) {
                Fail(at, std::string("names ") + what + " " + v[i].dump() + ", but the scene has " +
                             std::to_string(count) + " " + what + "s");
            }
            out.push_back(static_cast<int32_t>(v[i].get<std::uint64_t>()));
        }
        return out;
    }

  private:
    const std::string& name_;
    std::vector<std::string>& warnings_;
};

std::string At(const char* array, size_t i) {
    return std::string(array) + "[" + std::to_string(i) + "]";
}

SceneParticle ReadParticle(Reader& r, const Json& j, const std::string& path) {
    r.Object(j, path, {"pos", "vel", "oldpos", "accvel", "mass", "active", "ghost"});
    SceneParticle p;
    p.pos = r.Vec(r.Need(j, path, "pos"), path + ".pos");
    p.mass = r.Float(r.Need(j, path, "mass"), path + ".mass");
    if (const Json* v = r.Find(j, "vel")) p.vel = r.Vec(*v, path + ".vel");
    // As a particle made at pos with velocity vel: the first step moves it by vel.
    p.oldpos = {p.pos.x - p.vel.x, p.pos.y - p.vel.y};
    if (const Json* v = r.Find(j, "oldpos")) p.oldpos = r.Vec(*v, path + ".oldpos");
    if (const Json* v = r.Find(j, "accvel")) p.accvel = r.Vec(*v, path + ".accvel");
    if (const Json* v = r.Find(j, "active")) p.active = r.Flag(*v, path + ".active");
    if (const Json* v = r.Find(j, "ghost")) p.ghost = r.Flag(*v, path + ".ghost");
    return p;
}

SceneConstraint ReadConstraint(Reader& r, const Json& j, const std::string& path,
                               const std::vector<SceneParticle>& particles) {
    r.Object(j, path,
             {"ends", "elasticity", "breakPoint", "originalLength", "targetLength", "totmass",
              "v1prop", "v2prop", "setremove"});
    SceneConstraint c;
    const Json& ends = r.Need(j, path, "ends");
    if (!ends.is_array() || ends.size() != 2) {
        r.Fail(path + ".ends", "must be an array of two particle indices");
    }
    const std::vector<int32_t> e = r.Indices(ends, path + ".ends", particles.size(), "particle");
    c.v1 = e[0];
    c.v2 = e[1];
    if (const Json* v = r.Find(j, "elasticity")) c.elasticity = r.Float(*v, path + ".elasticity");
    if (const Json* v = r.Find(j, "breakPoint")) c.BreakPoint = r.Float(*v, path + ".breakPoint");
    if (const Json* v = r.Find(j, "originalLength")) {
        c.OriginalLength = r.Float(*v, path + ".originalLength");
    } else {
        // As a constraint made with no length: the distance between its ends.
        const SceneVec& a = particles[static_cast<size_t>(c.v1)].pos;
        const SceneVec& b = particles[static_cast<size_t>(c.v2)].pos;
        const float dx = a.x - b.x;
        const float dy = a.y - b.y;
        c.OriginalLength = std::sqrt(dx * dx + dy * dy);
        if (!std::isfinite(c.OriginalLength)) {
            r.Fail(path, "the distance between the ends is too large for a length");
        }
    }
    c.TargetLength = c.OriginalLength;
    if (const Json* v = r.Find(j, "targetLength")) {
        c.TargetLength = r.Float(*v, path + ".targetLength");
    }
    if (const Json* v = r.Find(j, "totmass")) c.totmass = r.Float(*v, path + ".totmass");
    if (const Json* v = r.Find(j, "v1prop")) c.v1prop = r.Float(*v, path + ".v1prop");
    if (const Json* v = r.Find(j, "v2prop")) c.v2prop = r.Float(*v, path + ".v2prop");
    if (const Json* v = r.Find(j, "setremove")) c.setremove = r.Flag(*v, path + ".setremove");
    return c;
}

SceneBody ReadBody(Reader& r, const Json& j, const std::string& path, size_t particles,
                   size_t constraints, size_t order) {
    r.Object(j, path,
             {"id", "verlets", "activeverlets", "constraints", "activeconstraints", "selfcollide",
              "bounce", "friction", "minxy", "maxxy", "pos", "vel", "inWorld"});
    SceneBody b;
    b.verlets = r.Indices(r.Need(j, path, "verlets"), path + ".verlets", particles, "particle");
    b.activeverlets =
        r.Indices(r.Need(j, path, "activeverlets"), path + ".activeverlets", particles, "particle");
    b.constraints =
        r.Indices(r.Need(j, path, "constraints"), path + ".constraints", constraints, "constraint");
    b.activeconstraints = r.Indices(r.Need(j, path, "activeconstraints"),
                                    path + ".activeconstraints", constraints, "constraint");
    b.ID = static_cast<int32_t>(order);
    if (const Json* v = r.Find(j, "id")) {
        b.ID = static_cast<int32_t>(r.Whole(*v, path + ".id", INT32_MIN, INT32_MAX));
    }
    if (const Json* v = r.Find(j, "selfcollide")) b.selfcollide = r.Flag(*v, path + ".selfcollide");
    if (const Json* v = r.Find(j, "bounce")) b.bounce = r.Float(*v, path + ".bounce");
    if (const Json* v = r.Find(j, "friction")) b.friction = r.Float(*v, path + ".friction");
    if (const Json* v = r.Find(j, "minxy")) b.minxy = r.Vec(*v, path + ".minxy");
    if (const Json* v = r.Find(j, "maxxy")) b.maxxy = r.Vec(*v, path + ".maxxy");
    if (const Json* v = r.Find(j, "pos")) b.Pos = r.Vec(*v, path + ".pos");
    if (const Json* v = r.Find(j, "vel")) b.Vel = r.Vec(*v, path + ".vel");
    if (const Json* v = r.Find(j, "inWorld")) {
        if (!v->is_boolean()) r.Fail(path + ".inWorld", "must be true or false");
        b.inWorld = v->get<bool>();
    }
    return b;
}

// Slot order: each element at most once. List order: the same elements as the slots.
void ReadOrder(Reader& r, const Json& top, const char* slotsKey, const char* listKey, size_t count,
               const char* what, std::vector<int32_t>& slots, std::vector<int32_t>& list) {
    const Json* s = r.Find(top, slotsKey);
    const Json* l = r.Find(top, listKey);
    if (s == nullptr) {
        for (size_t i = 0; i < count; ++i) slots.push_back(static_cast<int32_t>(i));
    } else {
        slots = r.Indices(*s, slotsKey, count, what);
    }
    std::vector<uint8_t> inSlots(count, 0);
    for (size_t i = 0; i < slots.size(); ++i) {
        uint8_t& seen = inSlots[static_cast<size_t>(slots[i])];
        if (seen) {
            r.Fail(At(slotsKey, i),
                   std::string(what) + " " + std::to_string(slots[i]) + " holds a second slot");
        }
        seen = 1;
    }
    if (l == nullptr) {
        list = slots;
        return;
    }
    list = r.Indices(*l, listKey, count, what);
    std::vector<uint8_t> inList(count, 0);
    for (size_t i = 0; i < list.size(); ++i) {
        const size_t k = static_cast<size_t>(list[i]);
        if (!inSlots[k]) {
            r.Fail(At(listKey, i), std::string(what) + " " + std::to_string(k) +
                                       " is listed but holds no slot in " + slotsKey);
        }
        if (inList[k]) {
            r.Fail(At(listKey, i),
                   std::string(what) + " " + std::to_string(k) + " is listed twice");
        }
        inList[k] = 1;
    }
    if (list.size() != slots.size()) {
        r.Fail(listKey, std::string("must list every ") + what + " of " + slotsKey + " (" +
                            std::to_string(slots.size()) + "), lists " +
                            std::to_string(list.size()));
    }
}

SceneData ReadScene(Reader& r, const Json& top) {
    r.Object(top, "(top)",
             {"version", "world", "particles", "constraints", "bodies", "template", "particleSlots",
              "particleList", "constraintSlots", "constraintList"});
    const Json& version = r.Need(top, "(top)", "version");
    if (!version.is_number_integer() || version.get<std::int64_t>() != kSceneVersion) {
        r.Fail("version", "unknown version " + Shown(version.dump()) + " (this program reads " +
                              std::to_string(kSceneVersion) + ")");
    }
    SceneData s;
    const Json& w = r.Object(r.Need(top, "(top)", "world"), "world",
                             {"width", "height", "constraintIterations", "gravity", "gravityx",
                              "gravityy", "bodyIdCount"});
    s.width = r.Float(r.Need(w, "world", "width"), "world.width");
    s.height = r.Float(r.Need(w, "world", "height"), "world.height");
    if (!(s.width > 0.0f)) r.Fail("world.width", "must be above 0");
    if (!(s.height > 0.0f)) r.Fail("world.height", "must be above 0");
    if (const Json* v = r.Find(w, "constraintIterations")) {
        s.constraintIterations =
            static_cast<int32_t>(r.Whole(*v, "world.constraintIterations", 0, kMaxSceneIterations));
    }
    if (const Json* v = r.Find(w, "gravity")) s.gravity = r.Vec(*v, "world.gravity");
    if (const Json* v = r.Find(w, "gravityx")) s.gravityx = r.Float(*v, "world.gravityx");
    if (const Json* v = r.Find(w, "gravityy")) s.gravityy = r.Float(*v, "world.gravityy");

    const Json& ps = r.Need(top, "(top)", "particles");
    if (!ps.is_array()) r.Fail("particles", "must be an array");
    if (ps.size() > static_cast<size_t>(kMaxSceneParticles)) {
        r.Fail("particles", "holds " + std::to_string(ps.size()) + " particles; the limit is " +
                                std::to_string(kMaxSceneParticles));
    }
    for (size_t i = 0; i < ps.size(); ++i)
        s.particles.push_back(ReadParticle(r, ps[i], At("particles", i)));

    const Json& cs = r.Need(top, "(top)", "constraints");
    if (!cs.is_array()) r.Fail("constraints", "must be an array");
    if (cs.size() > static_cast<size_t>(kMaxSceneConstraints)) {
        r.Fail("constraints", "holds " + std::to_string(cs.size()) + " constraints; the limit is " +
                                  std::to_string(kMaxSceneConstraints));
    }
    for (size_t i = 0; i < cs.size(); ++i) {
        s.constraints.push_back(ReadConstraint(r, cs[i], At("constraints", i), s.particles));
    }

    ReadOrder(r, top, "particleSlots", "particleList", s.particles.size(), "particle",
              s.particleSlots, s.particleList);
    ReadOrder(r, top, "constraintSlots", "constraintList", s.constraints.size(), "constraint",
              s.constraintSlots, s.constraintList);

    const Json& bs = r.Need(top, "(top)", "bodies");
    if (!bs.is_array()) r.Fail("bodies", "must be an array");
    if (bs.size() > static_cast<size_t>(kMaxSceneBodies)) {
        r.Fail("bodies", "holds " + std::to_string(bs.size()) + " bodies; the limit is " +
                             std::to_string(kMaxSceneBodies));
    }
    for (size_t i = 0; i < bs.size(); ++i) {
        s.bodies.push_back(
            ReadBody(r, bs[i], At("bodies", i), s.particles.size(), s.constraints.size(), i));
    }
    s.bodyIdCount = static_cast<int32_t>(s.bodies.size());
    if (const Json* v = r.Find(w, "bodyIdCount")) {
        s.bodyIdCount =
            static_cast<int32_t>(r.Whole(*v, "world.bodyIdCount", INT32_MIN, INT32_MAX));
    }
    const Json& t = r.Need(top, "(top)", "template");
    if (s.bodies.empty()) r.Fail("template", "names a body, but the scene has none");
    s.templateBody =
        static_cast<int32_t>(r.Whole(t, "template", 0, static_cast<int64_t>(s.bodies.size()) - 1));
    return s;
}

// A first pass over the text that builds nothing: it finds where a syntax error or a number
// out of float range stands, and keys given twice in one object (JSON leaves them open, and the
// tree would keep the last one silently).
class SyntaxCheck : public nlohmann::json_sax<Json> {
  public:
    explicit SyntaxCheck(std::string_view text) : text_(text) {}

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        open_.emplace_back();
        return true;
    }
    bool key(string_t& k) override {
        if (!open_.back().insert(k).second) {
            message = "the field '" + Shown(k) + "' appears twice in one object";
            return false;
        }
        return true;
    }
    bool end_object() override {
        open_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& e) override {
        // `position` counts the bytes read, up to the end of the offending token: point at its
        // last byte, or for a string at its opening quote.
        at = position > 0 ? position - 1 : 0;
        if (at < text_.size() && text_[at] == '"') {
            for (size_t i = at; i-- > 0;) {
                if (text_[i] == '"' && (i == 0 || text_[i - 1] != '\\')) {
                    at = i;
                    break;
                }
            }
        }
        syntax = true;
        if (e.id == 406) {
            message = "the number " + Shown(token) + " is out of the range of 32-bit floats";
            return false;
        }
        // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ..."
        std::string what = e.what();
        const size_t colon = what.find(": ");
        message = colon == std::string::npos ? what : what.substr(colon + 2);
        return false;
    }

    std::string message;
    size_t at = 0;
    bool syntax = false;

  private:
    std::string_view text_;
    std::vector<std::set<std::string>> open_;
};

uint32_t FloatBits(float value) {
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<uint32_t>(value);
#else  // older standard libraries (the WebAssembly build's)
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
#endif
}

bool SameBits(float a, float b) { return FloatBits(a) == FloatBits(b); }
bool SameBits(const SceneVec& a, const SceneVec& b) {
    return SameBits(a.x, b.x) && SameBits(a.y, b.y);
}

void AppendVec(std::string& out, const SceneVec& v) {
    out += '[';
    out += SceneFloatText(v.x);
    out += ", ";
    out += SceneFloatText(v.y);
    out += ']';
}

void AppendIndices(std::string& out, const std::vector<int32_t>& v) {
    out += '[';
    for (size_t i = 0; i < v.size(); ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(v[i]);
    }
    out += ']';
}

bool IsIdentity(const std::vector<int32_t>& v, size_t count) {
    if (v.size() != count) return false;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != static_cast<int32_t>(i)) return false;
    }
    return true;
}

template <class T>
std::vector<T*> Walk(const TList& list) {
    std::vector<T*> out;
    for (T* o : list.each<T>()) out.push_back(o);
    return out;
}

// Numbers objects by the order in which they are first met.
template <class T>
class Numbering {
  public:
    int32_t Of(T* o) {
        const auto [it, added] = index_.emplace(o, static_cast<int32_t>(order_.size()));
        if (added) order_.push_back(o);
        return it->second;
    }
    const std::vector<T*>& order() const { return order_; }

  private:
    std::unordered_map<const T*, int32_t> index_;
    std::vector<T*> order_;
};

// The shortest text that reads back as value, fixed or scientific, whichever is shorter (fixed
// on a tie): std::to_chars(first, last, value).
std::string ShortestFloatText(float value) {
#if defined(__cpp_lib_to_chars)
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof(buf), value);
    return std::string(buf, res.ptr);
#else  // older standard libraries (the WebAssembly build's) have no floating-point to_chars
    // The fewest significant digits that read back as value; the nearest such decimal is the
    // one printf gives.
    char sci[32];
    for (int precision = 0; precision < 9; ++precision) {
        std::snprintf(sci, sizeof sci, "%.*e", precision, static_cast<double>(value));
        if (std::strtof(sci, nullptr) == value) break;
    }
    std::string digits;
    const char* p = sci;
    const bool negative = *p == '-';
    if (negative) ++p;
    for (; *p != 'e'; ++p) {
        if (*p != '.') digits += *p;
    }
    const int exponent = std::atoi(p + 1);
    const int n = static_cast<int>(digits.size());
    std::string scientific = digits.substr(0, 1);
    if (n > 1) scientific += "." + digits.substr(1);
    char e[8];
    std::snprintf(e, sizeof e, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    scientific += e;
    // Fixed notation with as many decimals as those digits need; a whole number is written out
    // exactly, as printf's "%.0f" does, not padded with zeros.
    char fixedText[64];
    const int decimals = std::max(0, n - 1 - exponent);
    std::snprintf(fixedText, sizeof fixedText, "%.*f", decimals,
                  std::fabs(static_cast<double>(value)));
    const std::string fixed = fixedText;
    const std::string& shorter = fixed.size() <= scientific.size() ? fixed : scientific;
    return negative ? "-" + shorter : shorter;
#endif
}

}  // namespace

std::string SceneFloatText(float value) {
    if (!std::isfinite(value)) {
        throw std::runtime_error("the state holds a number that is not finite; not saved");
    }
    std::string text = ShortestFloatText(value);
    // "-0" would read back as the whole number 0 and lose its sign.
    if (text.find_first_of(".e") == std::string::npos && std::signbit(value) && value == 0.0f) {
        text += ".0";
    }
    return text;
}

SceneLoad LoadScene(std::string_view text, const std::string& name) {
    SceneLoad out;
    try {
        if (text.size() > kMaxSceneBytes) {
            throw SceneError{name + ": the file is " + std::to_string(text.size()) +
                             " bytes; the limit is " + std::to_string(kMaxSceneBytes)};
        }
        if (const auto at = TooDeep(text, kMaxSceneNesting)) {
            const auto [line, column] = LineColumn(text, *at);
            throw SceneError{name + ":" + std::to_string(line) + ":" + std::to_string(column) +
                             ": syntax error: arrays and objects nested more than " +
                             std::to_string(kMaxSceneNesting) + " deep"};
        }
        SyntaxCheck check(text);
        if (!Json::sax_parse(text.begin(), text.end(), &check)) {
            if (!check.syntax) throw SceneError{name + ": " + check.message};
            const auto [line, column] = LineColumn(text, check.at);
            throw SceneError{name + ":" + std::to_string(line) + ":" + std::to_string(column) +
                             ": " + Shown(check.message)};
        }
        const Json top = Json::parse(text.begin(), text.end());
        Reader reader(name, out.warnings);
        out.scene = ReadScene(reader, top);
    } catch (const SceneError& e) {
        out.scene.reset();
        out.error = e.message;
    } catch (const std::bad_alloc&) {
        out.scene.reset();
        out.error = name + ": not enough memory to read the scene";
    } catch (const std::exception& e) {
        // nlohmann type or range errors: the checks above should leave none, but a file must
        // never end the program.
        out.scene.reset();
        out.error = name + ": " + Shown(e.what());
    }
    return out;
}

std::string WriteScene(const SceneData& s) {
    std::string out;
    out += "{\n  \"version\": " + std::to_string(kSceneVersion) + ",\n";
    out += "  \"world\": {\"width\": " + SceneFloatText(s.width) +
           ", \"height\": " + SceneFloatText(s.height) +
           ", \"constraintIterations\": " + std::to_string(s.constraintIterations) +
           ", \"gravity\": ";
    AppendVec(out, s.gravity);
    out += ", \"gravityx\": " + SceneFloatText(s.gravityx) +
           ", \"gravityy\": " + SceneFloatText(s.gravityy) +
           ", \"bodyIdCount\": " + std::to_string(s.bodyIdCount) + "},\n";
    out += "  \"template\": " + std::to_string(s.templateBody) + ",\n";
    // Orders the reader would take by default are left out: slots 0, 1, 2... over the
    // whole array, and a list in slot order.
    auto order = [&out](const char* key, const std::vector<int32_t>& v) {
        out += std::string("  \"") + key + "\": ";
        AppendIndices(out, v);
        out += ",\n";
    };
    if (!IsIdentity(s.particleSlots, s.particles.size())) order("particleSlots", s.particleSlots);
    if (s.particleList != s.particleSlots) order("particleList", s.particleList);
    if (!IsIdentity(s.constraintSlots, s.constraints.size())) {
        order("constraintSlots", s.constraintSlots);
    }
    if (s.constraintList != s.constraintSlots) order("constraintList", s.constraintList);
    out += "  \"particles\": [";
    for (size_t i = 0; i < s.particles.size(); ++i) {
        const SceneParticle& p = s.particles[i];
        out += i == 0 ? "\n    " : ",\n    ";
        out += "{\"pos\": ";
        AppendVec(out, p.pos);
        if (!SameBits(p.vel, {})) {
            out += ", \"vel\": ";
            AppendVec(out, p.vel);
        }
        if (!SameBits(p.oldpos, {p.pos.x - p.vel.x, p.pos.y - p.vel.y})) {
            out += ", \"oldpos\": ";
            AppendVec(out, p.oldpos);
        }
        if (!SameBits(p.accvel, {})) {
            out += ", \"accvel\": ";
            AppendVec(out, p.accvel);
        }
        out += ", \"mass\": " + SceneFloatText(p.mass);
        if (p.active != 1) out += ", \"active\": " + std::to_string(p.active);
        if (p.ghost != 0) out += ", \"ghost\": " + std::to_string(p.ghost);
        out += "}";
    }
    out += s.particles.empty() ? "],\n" : "\n  ],\n";
    out += "  \"constraints\": [";
    for (size_t i = 0; i < s.constraints.size(); ++i) {
        const SceneConstraint& c = s.constraints[i];
        out += i == 0 ? "\n    " : ",\n    ";
        out += "{\"ends\": [" + std::to_string(c.v1) + ", " + std::to_string(c.v2) + "]";
        auto field = [&out](const char* key, float v, float omitted) {
            if (SameBits(v, omitted)) return;
            out += std::string(", \"") + key + "\": " + SceneFloatText(v);
        };
        field("elasticity", c.elasticity, 1.0f);
        field("breakPoint", c.BreakPoint, 0.0f);
        out += ", \"originalLength\": " + SceneFloatText(c.OriginalLength);
        field("targetLength", c.TargetLength, c.OriginalLength);
        field("totmass", c.totmass, 0.0f);
        field("v1prop", c.v1prop, 0.0f);
        field("v2prop", c.v2prop, 0.0f);
        if (c.setremove != 0) out += ", \"setremove\": " + std::to_string(c.setremove);
        out += "}";
    }
    out += s.constraints.empty() ? "],\n" : "\n  ],\n";
    out += "  \"bodies\": [";
    for (size_t i = 0; i < s.bodies.size(); ++i) {
        const SceneBody& b = s.bodies[i];
        out += i == 0 ? "\n    " : ",\n    ";
        out += "{\"id\": " + std::to_string(b.ID);
        if (!b.inWorld) out += ", \"inWorld\": false";
        out += ", \"bounce\": " + SceneFloatText(b.bounce) +
               ", \"friction\": " + SceneFloatText(b.friction) +
               ", \"selfcollide\": " + std::to_string(b.selfcollide) + ",\n     \"verlets\": ";
        AppendIndices(out, b.verlets);
        out += ", \"activeverlets\": ";
        AppendIndices(out, b.activeverlets);
        out += ",\n     \"constraints\": ";
        AppendIndices(out, b.constraints);
        out += ", \"activeconstraints\": ";
        AppendIndices(out, b.activeconstraints);
        const std::pair<const char*, const SceneVec*> vecs[] = {
            {"minxy", &b.minxy}, {"maxxy", &b.maxxy}, {"pos", &b.Pos}, {"vel", &b.Vel}};
        const char* sep = ",\n     \"";
        for (const auto& [key, v] : vecs) {
            if (SameBits(*v, {})) continue;
            out += sep;
            out += key;
            out += "\": ";
            AppendVec(out, *v);
            sep = ", \"";
        }
        out += "}";
    }
    out += s.bodies.empty() ? "]\n" : "\n  ]\n";
    out += "}\n";
    return out;
}

SceneData CaptureScene(const PhysicsWorld& world, const PhysicsBody& templateBody) {
    SceneData s;
    s.width = world.Width;
    s.height = world.Height;
    s.constraintIterations = world.CONSTRAINT_ITERATIONS;
    s.gravity = {world.gravity->x, world.gravity->y};
    s.gravityx = world.gravityx;
    s.gravityy = world.gravityy;
    s.bodyIdCount = world.PhysicsBodyIDCount;

    // The world's particles first, in slot order, so that a fresh scene's slots are 0, 1, 2...;
    // then any that only a constraint or a body still holds.
    Numbering<Verlet> vs;
    Numbering<constraint> cs;
    const Array& va = *world.VerletArray;
    for (int32_t i = 0; i < va.last; ++i) {
        if (auto* v = ObjectCast<Verlet>(va.at(i))) s.particleSlots.push_back(vs.Of(v));
    }
    for (Verlet* v : Walk<Verlet>(*world.VerletList)) s.particleList.push_back(vs.Of(v));
    const Array& ca = *world.ConstraintArray;
    for (int32_t i = 0; i < ca.last; ++i) {
        if (auto* c = ObjectCast<constraint>(ca.at(i))) s.constraintSlots.push_back(cs.Of(c));
    }
    for (constraint* c : Walk<constraint>(*world.ConstraintList)) {
        s.constraintList.push_back(cs.Of(c));
    }

    std::vector<const PhysicsBody*> bodies;
    for (PhysicsBody* b : Walk<PhysicsBody>(*world.PhysicsBodies)) bodies.push_back(b);
    const size_t inWorld = bodies.size();
    s.templateBody = -1;
    for (size_t i = 0; i < bodies.size(); ++i) {
        if (bodies[i] == &templateBody) s.templateBody = static_cast<int32_t>(i);
    }
    if (s.templateBody < 0) {
        s.templateBody = static_cast<int32_t>(bodies.size());
        bodies.push_back(&templateBody);
    }
    for (size_t i = 0; i < bodies.size(); ++i) {
        const PhysicsBody& b = *bodies[i];
        SceneBody sb;
        for (Verlet* v : Walk<Verlet>(*b.verlets)) sb.verlets.push_back(vs.Of(v));
        for (Verlet* v : Walk<Verlet>(*b.activeverlets)) sb.activeverlets.push_back(vs.Of(v));
        for (constraint* c : Walk<constraint>(*b.constraints)) sb.constraints.push_back(cs.Of(c));
        for (constraint* c : Walk<constraint>(*b.activeconstraints)) {
            sb.activeconstraints.push_back(cs.Of(c));
        }
        sb.selfcollide = b.selfcollide;
        sb.ID = b.ID;
        sb.maxxy = {b.maxxy->x, b.maxxy->y};
        sb.minxy = {b.minxy->x, b.minxy->y};
        sb.Pos = {b.Pos->x, b.Pos->y};
        sb.Vel = {b.Vel->x, b.Vel->y};
        sb.bounce = b.bounce;
        sb.friction = b.friction;
        sb.inWorld = i < inWorld;
        s.bodies.push_back(std::move(sb));
    }
    // Constraints in no body and out of the world are gone for good; those met so far are
    // numbered. Their ends may add particles.
    for (size_t i = 0; i < cs.order().size(); ++i) {
        const constraint& c = *cs.order()[i];
        SceneConstraint sc;
        sc.v1 = vs.Of(c.v1.get());
        sc.v2 = vs.Of(c.v2.get());
        sc.elasticity = c.elasticity;
        sc.TargetLength = c.TargetLength;
        sc.OriginalLength = c.OriginalLength;
        sc.BreakPoint = c.BreakPoint;
        sc.totmass = c.totmass;
        sc.v1prop = c.v1prop;
        sc.v2prop = c.v2prop;
        sc.setremove = c.setremove;
        s.constraints.push_back(sc);
    }
    for (const Verlet* v : vs.order()) {
        SceneParticle p;
        p.pos = {v->pos->x, v->pos->y};
        p.vel = {v->vel->x, v->vel->y};
        p.oldpos = {v->oldpos->x, v->oldpos->y};
        p.accvel = {v->accvel->x, v->accvel->y};
        p.mass = v->mass;
        p.active = v->active;
        p.ghost = v->ghost;
        s.particles.push_back(p);
    }
    return s;
}

SceneWorld BuildSceneWorld(const SceneData& s) {
    SceneWorld out;
    // Everything is made through the library's own Create functions (which register it in the
    // world in creation order), then given the file's values.
    out.world = PhysicsWorld::Create(s.width, s.height, 1);
    PhysicsWorld& w = *out.world;
    w.CONSTRAINT_ITERATIONS = s.constraintIterations;
    w.gravity->set(s.gravity.x, s.gravity.y);
    w.gravityx = s.gravityx;
    w.gravityy = s.gravityy;

    // Particles: those with slots made in slot order, then the rest, which leave the world again
    // from the array's end and so disturb no slot.
    std::vector<Ref<Verlet>> vs(s.particles.size());
    std::vector<uint8_t> placed(s.particles.size(), 0);
    auto makeVerlet = [&](int32_t k) {
        const SceneParticle& p = s.particles[static_cast<size_t>(k)];
        Ref<Verlet> v = Verlet::Create(&w, MakeVect(p.pos.x, p.pos.y), MakeVect(p.vel.x, p.vel.y),
                                       p.mass, p.active, p.ghost);
        v->oldpos->set(p.oldpos.x, p.oldpos.y);
        v->accvel->set(p.accvel.x, p.accvel.y);
        vs[static_cast<size_t>(k)] = v;
        placed[static_cast<size_t>(k)] = 1;
    };
    for (int32_t k : s.particleSlots) makeVerlet(k);
    for (size_t k = 0; k < s.particles.size(); ++k) {
        if (placed[k]) continue;
        makeVerlet(static_cast<int32_t>(k));
        vs[k]->remove();
        vs[k]->index = -1;
    }
    // The list in its own order.
    for (const Ref<Verlet>& v : vs) w.VerletList->Remove(v.get());
    for (int32_t k : s.particleList) w.VerletList->AddLast(vs[static_cast<size_t>(k)]);

    std::vector<Ref<constraint>> cs(s.constraints.size());
    std::vector<uint8_t> cplaced(s.constraints.size(), 0);
    auto makeConstraint = [&](int32_t k) {
        const SceneConstraint& c = s.constraints[static_cast<size_t>(k)];
        Ref<constraint> nc =
            constraint::Create(&w, vs[static_cast<size_t>(c.v1)], vs[static_cast<size_t>(c.v2)],
                               c.elasticity, c.BreakPoint, c.OriginalLength);
        nc->OriginalLength = c.OriginalLength;
        nc->TargetLength = c.TargetLength;
        nc->totmass = c.totmass;
        nc->v1prop = c.v1prop;
        nc->v2prop = c.v2prop;
        nc->setremove = c.setremove;
        cs[static_cast<size_t>(k)] = nc;
        cplaced[static_cast<size_t>(k)] = 1;
    };
    for (int32_t k : s.constraintSlots) makeConstraint(k);
    for (size_t k = 0; k < s.constraints.size(); ++k) {
        if (cplaced[k]) continue;
        makeConstraint(static_cast<int32_t>(k));
        cs[k]->remove();
        cs[k]->index = -1;
    }
    for (const Ref<constraint>& c : cs) w.ConstraintList->Remove(c.get());
    for (int32_t k : s.constraintList) w.ConstraintList->AddLast(cs[static_cast<size_t>(k)]);

    for (size_t i = 0; i < s.bodies.size(); ++i) {
        const SceneBody& sb = s.bodies[i];
        Ref<PhysicsBody> b = PhysicsBody::Create(&w);
        for (int32_t k : sb.verlets) b->verlets->AddLast(vs[static_cast<size_t>(k)]);
        for (int32_t k : sb.activeverlets) b->activeverlets->AddLast(vs[static_cast<size_t>(k)]);
        for (int32_t k : sb.constraints) b->constraints->AddLast(cs[static_cast<size_t>(k)]);
        for (int32_t k : sb.activeconstraints) {
            b->activeconstraints->AddLast(cs[static_cast<size_t>(k)]);
        }
        b->selfcollide = sb.selfcollide;
        b->ID = sb.ID;
        b->maxxy->set(sb.maxxy.x, sb.maxxy.y);
        b->minxy->set(sb.minxy.x, sb.minxy.y);
        b->Pos->set(sb.Pos.x, sb.Pos.y);
        b->Vel->set(sb.Vel.x, sb.Vel.y);
        b->bounce = sb.bounce;
        b->friction = sb.friction;
        if (!sb.inWorld) w.PhysicsBodies->Remove(b.get());
        if (i == static_cast<size_t>(s.templateBody)) out.templateBody = b;
    }
    w.PhysicsBodyIDCount = s.bodyIdCount;
    return out;
}
