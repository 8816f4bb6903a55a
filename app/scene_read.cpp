// Reading a scene file: one streaming pass over the text. The parser's events are checked as
// they come (nesting, fields given twice, array lengths against the limits, unknown fields
// skipped with a warning), and each element of `particles`, `constraints` and `bodies` is
// converted as soon as it is complete, so a load holds one element's tree at a time and refuses
// an oversized file while reading it. The references between elements are resolved at the end.
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "app/controls.h"
#include "app/scene_file.h"
#include "app/settings.h"
#include "runtime/text.h"

namespace {

// Numbers with a fraction or exponent are read straight into float (strtof), so that the text
// of a float reads back to its own bits without passing through double.
using Json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

// A failed check: what follows the file's name in the message (": path: what" or ":L:C: what").
struct SceneError {
    std::string tail;
};

// Text from the file shown in a message: printable ASCII only, and not too long.
std::string Shown(std::string_view text) { return MessageText(text, 160, true); }

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
    throw SceneError{": " + path + ": " + what};
}

std::string At(const std::string& array, size_t i) { return array + "[" + std::to_string(i) + "]"; }

// ---- One value of the tree, read as the field at `path`.

const Json* Find(const Json& obj, const char* key) {
    const auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

const Json& Need(const Json& obj, const std::string& path, const char* key) {
    const Json* v = Find(obj, key);
    if (v == nullptr) Fail(path, std::string("the required field '") + key + "' is missing");
    return *v;
}

void MustBeObject(const Json& v, const std::string& path) {
    if (!v.is_object()) Fail(path, "must be an object");
}

float Float(const Json& v, const std::string& path) {
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

int64_t Whole(const Json& v, const std::string& path, int64_t lo, int64_t hi) {
    if (!v.is_number_integer()) Fail(path, "must be a whole number");
    if (v.is_number_unsigned() && v.get<std::uint64_t>() > static_cast<uint64_t>(hi)) {
        Fail(path, "must be at most " + std::to_string(hi));
    }
    const int64_t n = v.get<std::int64_t>();
    if (n < lo || n > hi)
        Fail(path, "must be in " + std::to_string(lo) + ".." + std::to_string(hi));
    return n;
}

uint8_t Flag(const Json& v, const std::string& path) {
    if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
    return static_cast<uint8_t>(Whole(v, path, 0, 255));
}

SceneVec Vec(const Json& v, const std::string& path) {
    if (!v.is_array() || v.size() != 2) Fail(path, "must be an array of two numbers [x, y]");
    return {Float(v[0], path + "[0]"), Float(v[1], path + "[1]")};
}

// Whole numbers naming elements; their range is checked once the counts are known.
std::vector<int64_t> Indices(const Json& v, const std::string& path) {
    if (!v.is_array()) Fail(path, "must be an array of indices");
    std::vector<int64_t> out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        if (!v[i].is_number_integer()) Fail(At(path, i), "must be a whole number");
        out.push_back(v[i].is_number_unsigned() && v[i].get<std::uint64_t>() > INT64_MAX
                          ? INT64_MAX
                          : v[i].get<std::int64_t>());
    }
    return out;
}

std::vector<int32_t> InRange(const std::vector<int64_t>& indices, const std::string& path,
                             size_t count, const char* what) {
    std::vector<int32_t> out;
    out.reserve(indices.size());
    for (size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] < 0 || static_cast<uint64_t>(indices[i]) >= count) {
            Fail(At(path, i), std::string("names ") + what + " " + std::to_string(indices[i]) +
                                  ", but the scene has " + std::to_string(count) + " " + what +
                                  "s");
        }
        out.push_back(static_cast<int32_t>(indices[i]));
    }
    return out;
}

// `out` = read(obj[key]) when the field is there.
template <class T, class Read>
void Optional(const Json& obj, const std::string& path, const char* key, T& out, Read read) {
    if (const Json* v = Find(obj, key)) out = read(*v, path + "." + key);
}

// ---- The elements, each as soon as the parser has read it.

SceneParticle ReadParticle(const Json& j, const std::string& path) {
    MustBeObject(j, path);
    SceneParticle p;
    p.pos = Vec(Need(j, path, "pos"), path + ".pos");
    p.mass = Float(Need(j, path, "mass"), path + ".mass");
    Optional(j, path, "vel", p.vel, Vec);
    // As a particle made at pos with velocity vel: the first step moves it by vel.
    p.oldpos = {p.pos.x - p.vel.x, p.pos.y - p.vel.y};
    Optional(j, path, "oldpos", p.oldpos, Vec);
    Optional(j, path, "accvel", p.accvel, Vec);
    Optional(j, path, "active", p.active, Flag);
    Optional(j, path, "ghost", p.ghost, Flag);
    return p;
}

struct ConstraintRead {
    SceneConstraint c;
    std::vector<int64_t> ends;
    bool lengthGiven = false;
    bool targetGiven = false;
};

ConstraintRead ReadConstraint(const Json& j, const std::string& path) {
    MustBeObject(j, path);
    ConstraintRead r;
    const Json& ends = Need(j, path, "ends");
    if (!ends.is_array() || ends.size() != 2) {
        Fail(path + ".ends", "must be an array of two particle indices");
    }
    r.ends = Indices(ends, path + ".ends");
    SceneConstraint& c = r.c;
    Optional(j, path, "elasticity", c.elasticity, Float);
    Optional(j, path, "breakPoint", c.BreakPoint, Float);
    r.lengthGiven = Find(j, "originalLength") != nullptr;
    Optional(j, path, "originalLength", c.OriginalLength, Float);
    r.targetGiven = Find(j, "targetLength") != nullptr;
    Optional(j, path, "targetLength", c.TargetLength, Float);
    Optional(j, path, "totmass", c.totmass, Float);
    Optional(j, path, "v1prop", c.v1prop, Float);
    Optional(j, path, "v2prop", c.v2prop, Float);
    Optional(j, path, "setremove", c.setremove, Flag);
    return r;
}

struct BodyRead {
    SceneBody b;
    std::vector<int64_t> lists[4];  // verlets, activeverlets, constraints, activeconstraints
};
constexpr const char* kBodyLists[4] = {"verlets", "activeverlets", "constraints",
                                       "activeconstraints"};

BodyRead ReadBody(const Json& j, const std::string& path, size_t order) {
    MustBeObject(j, path);
    BodyRead r;
    for (int32_t k = 0; k < 4; ++k) {
        r.lists[k] = Indices(Need(j, path, kBodyLists[k]), path + "." + kBodyLists[k]);
    }
    SceneBody& b = r.b;
    b.ID = static_cast<int32_t>(order);
    Optional(j, path, "id", b.ID, [](const Json& v, const std::string& p) {
        return static_cast<int32_t>(Whole(v, p, INT32_MIN, INT32_MAX));
    });
    Optional(j, path, "selfcollide", b.selfcollide, Flag);
    Optional(j, path, "bounce", b.bounce, Float);
    Optional(j, path, "friction", b.friction, Float);
    Optional(j, path, "minxy", b.minxy, Vec);
    Optional(j, path, "maxxy", b.maxxy, Vec);
    Optional(j, path, "pos", b.Pos, Vec);
    Optional(j, path, "vel", b.Vel, Vec);
    Optional(j, path, "inWorld", b.inWorld, [](const Json& v, const std::string& p) {
        if (!v.is_boolean()) Fail(p, "must be true or false");
        return v.get<bool>();
    });
    return r;
}

SceneSession ReadSession(const Json& j) {
    const std::string path = "session";
    MustBeObject(j, path);
    auto whole = [](int64_t lo, int64_t hi) {
        return [lo, hi](const Json& v, const std::string& p) {
            return static_cast<int32_t>(Whole(v, p, lo, hi));
        };
    };
    auto flag = [](const Json& v, const std::string& p) { return Flag(v, p) != 0; };
    const auto coordinate = whole(-kMaxSceneCursor, kMaxSceneCursor);
    SceneSession t;
    Optional(j, path, "stepsPerFrame", t.stepsPerFrame, whole(1, kMaxStepsPerFrame));
    Optional(j, path, "paused", t.paused, flag);
    Optional(j, path, "captured", t.captured, flag);
    Optional(j, path, "throwDivisor", t.throwDivisor, whole(1, kMaxThrowDivisor));
    Optional(j, path, "throwBounce", t.throwBounce, Float);
    Optional(j, path, "throwFriction", t.throwFriction, Float);
    Optional(j, path, "held", t.held, flag);
    Optional(j, path, "buttons", t.buttons, whole(0, (1 << kSceneButtons) - 1));
    for (const auto& [key, x, y] : {std::tuple{"cursor", &t.cursorX, &t.cursorY},
                                    std::tuple{"dragFrom", &t.dragX, &t.dragY}}) {
        const Json* v = Find(j, key);
        if (v == nullptr) continue;
        const std::string at = path + "." + key;
        if (!v->is_array() || v->size() != 2) Fail(at, "must be an array of two whole numbers");
        *x = coordinate((*v)[0], at + "[0]");
        *y = coordinate((*v)[1], at + "[1]");
    }
    if (const Json* g = Find(j, "grab")) {
        const std::string at = path + ".grab";
        MustBeObject(*g, at);
        const auto index = whole(-1, INT32_MAX);
        t.grabParticle = index(Need(*g, at, "particle"), at + ".particle");
        if (t.grabParticle < 0) Fail(at + ".particle", "must name a particle");
        Optional(*g, at, "anchor", t.grabAnchor, index);
        Optional(*g, at, "spring", t.grabSpring, index);
        t.grabTarget = Vec(Need(*g, at, "target"), at + ".target");
    }
    return t;
}

// A grab names particles and a constraint of the scene, and its spring joins its anchor to the
// particle held, as Grab::Begin made them: otherwise taking the hold up again would pull on
// something else.
void CheckGrab(const SceneData& s) {
    const SceneSession& t = s.session;
    if (t.grabParticle < 0) return;
    const std::string at = "session.grab";
    auto inWorld = [](const std::vector<int32_t>& slots, int32_t k) {
        return std::find(slots.begin(), slots.end(), k) != slots.end();
    };
    if (static_cast<size_t>(t.grabParticle) >= s.particles.size() ||
        !inWorld(s.particleSlots, t.grabParticle)) {
        Fail(at + ".particle", "names no particle of the world");
    }
    if ((t.grabAnchor < 0) != (t.grabSpring < 0)) {
        Fail(at, "has an anchor without a spring, or a spring without an anchor");
    }
    if (t.grabAnchor < 0) return;
    if (static_cast<size_t>(t.grabAnchor) >= s.particles.size() ||
        !inWorld(s.particleSlots, t.grabAnchor) ||
        s.particles[static_cast<size_t>(t.grabAnchor)].active != 0) {
        Fail(at + ".anchor", "names no fixed particle of the world");
    }
    if (static_cast<size_t>(t.grabSpring) >= s.constraints.size() ||
        !inWorld(s.constraintSlots, t.grabSpring)) {
        Fail(at + ".spring", "names no constraint of the world");
    }
    const SceneConstraint& c = s.constraints[static_cast<size_t>(t.grabSpring)];
    if (c.v1 != t.grabAnchor || c.v2 != t.grabParticle) {
        Fail(at + ".spring", "must join the anchor to the particle held");
    }
}

// ---- The streaming pass.

// The three arrays read element by element.
enum List { kParticles, kConstraints, kBodies, kListCount };
constexpr const char* kListNames[kListCount] = {"particles", "constraints", "bodies"};
constexpr int32_t kListLimits[kListCount] = {kMaxSceneParticles, kMaxSceneConstraints,
                                             kMaxSceneBodies};

using Keys = std::initializer_list<const char*>;
const Keys kTopKeys = {"version",         "world",          "particles",     "constraints",
                       "bodies",          "template",       "particleSlots", "particleList",
                       "constraintSlots", "constraintList", "session"};
const Keys kWorldKeys = {"width",       "height",   "constraintIterations",
                         "gravity",     "gravityx", "gravityy",
                         "bodyIdCount", "stepMode", "contactDamping"};
const Keys kSessionKeys = {"stepsPerFrame", "paused",        "captured", "throwDivisor",
                           "throwBounce",   "throwFriction", "held",     "buttons",
                           "cursor",        "dragFrom",      "grab"};
const Keys kGrabKeys = {"particle", "anchor", "spring", "target"};
const Keys kElementKeys[kListCount] = {
    {"pos", "vel", "oldpos", "accvel", "mass", "active", "ghost"},
    {"ends", "elasticity", "breakPoint", "originalLength", "targetLength", "totmass", "v1prop",
     "v2prop", "setremove"},
    {"id", "verlets", "activeverlets", "constraints", "activeconstraints", "selfcollide", "bounce",
     "friction", "minxy", "maxxy", "pos", "vel", "inWorld"}};

// Unknown fields are named in warnings up to this many; the rest are counted.
constexpr size_t kMaxUnknownWarnings = 100;

// What an open array or object is in the format. Only what the format can use is kept: the top
// object, its sections (`world`, `session`), one element at a time and the arrays in them; anything
// else (unknown fields, containers where a number belongs) is read through and dropped, a container
// standing where the format has none as an empty one, so that the conversion names the wrong type.
enum class Role : uint8_t { kTop, kSection, kList, kElement, kField, kSkip };

struct Frame {
    Role role = Role::kSkip;
    Json* node = nullptr;  // where the values go (kTop, kWorld, kElement, kField)
    std::string path;      // as messages name it
    size_t count = 0;      // values so far (arrays)
    int32_t list = 0;      // kList, kElement: which list
    bool keep = true;      // kList: elements are still converted
    std::string key;       // objects: the field being read, empty when it is dropped
    std::set<std::string> keys;
};

class SceneReader : public nlohmann::json_sax<Json> {
  public:
    SceneReader(std::string_view text, std::vector<std::string>& warnings, const std::string& name)
        : text_(text), warnings_(warnings), name_(name) {}

    bool null() override { return Value(nullptr); }
    bool boolean(bool v) override { return Value(v); }
    bool number_integer(number_integer_t v) override { return Value(v); }
    bool number_unsigned(number_unsigned_t v) override { return Value(v); }
    bool number_float(number_float_t v, const string_t&) override { return Value(v); }
    bool string(string_t& v) override { return Value(std::move(v)); }
    bool binary(binary_t&) override { return Value(nullptr); }  // never in JSON text
    bool start_object(std::size_t) override { return Open(Json::object()); }
    bool start_array(std::size_t) override { return Open(Json::array()); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }

    bool key(string_t& k) override {
        Frame& f = stack_.back();
        f.key.clear();
        if (f.role == Role::kSkip) return true;
        const Keys& known = f.role == Role::kTop       ? kTopKeys
                            : f.role != Role::kSection ? kElementKeys[f.list]
                            : f.path == "world"        ? kWorldKeys
                            : f.path == "session"      ? kSessionKeys
                                                       : kGrabKeys;
        for (const char* name : known) {
            if (k != name) continue;
            // JSON leaves a repeated field open, and a tree would keep the last one silently.
            if (!f.keys.insert(k).second) {
                warnings_.clear();
                throw SceneError{": the field '" + Shown(k) + "' appears twice in one object"};
            }
            f.key = k;
            return true;
        }
        if (++unknown_ <= kMaxUnknownWarnings) {
            warnings_.push_back(name_ + ": " + f.path + ": unknown field '" + Shown(k) +
                                "' ignored");
        }
        return true;
    }

    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& e) override {
        // `position` counts the bytes read, up to the end of the offending token: point at its
        // last byte, or for a string at its opening quote.
        size_t at = position > 0 ? position - 1 : 0;
        if (at < text_.size() && text_[at] == '"') {
            for (size_t i = at; i-- > 0;) {
                if (text_[i] == '"' && (i == 0 || text_[i - 1] != '\\')) {
                    at = i;
                    break;
                }
            }
        }
        if (e.id == 406) {
            throw Positioned(
                at, "the number " + Shown(token) + " is out of the range of 32-bit floats");
        }
        // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ..."
        const std::string what = e.what();
        const size_t colon = what.find(": ");
        throw Positioned(at, colon == std::string::npos ? what : what.substr(colon + 2));
    }

    // After the whole text has been read.
    SceneData Finish();

  private:
    // A syntax error: the warnings so far are about a text that is not a scene, and go.
    SceneError Positioned(size_t offset, const std::string& what) {
        warnings_.clear();
        size_t line = 1, column = 1;
        for (size_t i = 0; i < offset && i < text_.size(); ++i) {
            column = text_[i] == '\n' ? 1 : column + 1;
            line += text_[i] == '\n' ? 1 : 0;
        }
        return SceneError{":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                          Shown(what)};
    }

    // Where a new value goes: a place in the tree, or none when it is dropped. Counts it.
    Json* Place(Json&& value, bool container) {
        if (stack_.empty()) return &(top_ = std::move(value));
        Frame& f = stack_.back();
        switch (f.role) {
            case Role::kTop:
            case Role::kSection:
            case Role::kElement:
                if (f.key.empty()) return nullptr;
                return &((*f.node)[f.key] = std::move(value));
            case Role::kField:
                if (++f.count > static_cast<size_t>(kMaxSceneArray)) {
                    Fail(f.path, "holds more than " + std::to_string(kMaxSceneArray) +
                                     " entries; the limit is " + std::to_string(kMaxSceneArray));
                }
                f.node->push_back(std::move(value));
                return &f.node->back();
            case Role::kList:
                if (f.count >= static_cast<size_t>(kListLimits[f.list])) {
                    // Refused here, so that neither memory nor time grows with an oversized list.
                    Fail(f.path, "holds more than " + std::to_string(kListLimits[f.list]) + " " +
                                     f.path + "; the limit is " +
                                     std::to_string(kListLimits[f.list]));
                }
                if (!f.keep) {
                    if (!container) ++f.count;
                    return nullptr;
                }
                element_ = std::move(value);
                if (!container) Convert(f);
                return &element_;
            case Role::kSkip:
                return nullptr;
        }
        return nullptr;
    }

    bool Value(Json&& value) {
        Place(std::move(value), false);
        return true;
    }

    bool Open(Json&& container) {
        if (stack_.size() >= static_cast<size_t>(kMaxSceneNesting)) {
            throw Positioned(DeepestOpening(),
                             "syntax error: arrays and objects nested more than " +
                                 std::to_string(kMaxSceneNesting) + " deep");
        }
        const bool isArray = container.is_array();
        Frame f;
        f.role = isArray ? Role::kField : Role::kSkip;  // an array of values; an unused object
        if (stack_.empty()) {
            f.role = isArray ? Role::kSkip : Role::kTop;
            f.path = "(top)";
        } else {
            Frame& parent = stack_.back();
            f.list = parent.list;
            f.path = parent.role == Role::kTop ? parent.key : parent.path + "." + parent.key;
            if (parent.role == Role::kList) {
                f.path = At(parent.path, parent.count);
                if (!isArray) f.role = Role::kElement;
            } else if (parent.role == Role::kField) {
                f.role = Role::kSkip;
            } else if (parent.role == Role::kTop && !isArray &&
                       (parent.key == "world" || parent.key == "session")) {
                f.role = Role::kSection;
            } else if (parent.role == Role::kSection && !isArray && parent.path == "session" &&
                       parent.key == "grab") {
                f.role = Role::kSection;  // session.grab
            } else if (parent.role == Role::kTop && isArray) {
                for (int32_t k = 0; k < kListCount; ++k) {
                    if (parent.key != kListNames[k]) continue;
                    (*parent.node)[parent.key] = Json::array();  // the elements go elsewhere
                    f.role = Role::kList;
                    f.list = k;
                }
            }
        }
        if (f.role != Role::kList) {
            f.node = Place(std::move(container), true);
            if (f.node == nullptr) f.role = Role::kSkip;  // dropped: read through
        }
        stack_.push_back(std::move(f));
        return true;
    }

    bool Close() {
        stack_.pop_back();
        if (!stack_.empty() && stack_.back().role == Role::kList) {
            Frame& list = stack_.back();
            if (list.keep) {
                Convert(list);
            } else {
                ++list.count;
            }
        }
        return true;
    }

    // The element just read, as the list's next one. Only the first error of a list is kept;
    // the elements after it are read through but no longer converted.
    void Convert(Frame& list) {
        const size_t i = list.count++;
        const std::string path = At(list.path, i);
        try {
            switch (list.list) {
                case kParticles:
                    particles_.push_back(ReadParticle(element_, path));
                    break;
                case kConstraints:
                    constraints_.push_back(ReadConstraint(element_, path));
                    break;
                default:
                    bodies_.push_back(ReadBody(element_, path, i));
                    break;
            }
        } catch (const SceneError& e) {
            listError_[list.list] = e.tail;
            list.keep = false;
        }
        element_ = Json();
        if (list.list == kBodies && list.keep) {
            // Every entry becomes a link in a list of the world: bounded in all, not only per
            // array.
            for (const std::vector<int64_t>& l : bodies_.back().lists) bodyEntries_ += l.size();
            if (bodyEntries_ > static_cast<size_t>(kMaxSceneBodyEntries)) {
                Fail("bodies",
                     "the bodies' lists hold more than " + std::to_string(kMaxSceneBodyEntries) +
                         " entries in all; the limit is " + std::to_string(kMaxSceneBodyEntries));
            }
        }
    }

    // The first opening bracket nested too deep: it ends the parse, so the text before it is
    // sound JSON and a plain scan outside strings finds it.
    size_t DeepestOpening() const {
        int32_t depth = 0;
        bool inString = false;
        for (size_t i = 0; i < text_.size(); ++i) {
            const char c = text_[i];
            if (inString) {
                if (c == '\\') {
                    ++i;
                } else if (c == '"') {
                    inString = false;
                }
            } else if (c == '"') {
                inString = true;
            } else if (c == '[' || c == '{') {
                if (++depth > kMaxSceneNesting) return i;
            } else if (c == ']' || c == '}') {
                --depth;
            }
        }
        return text_.size();
    }

    // Whether the list was read whole: there, an array, and every element converted.
    void TakeList(int32_t list) {
        const char* name = kListNames[list];
        if (!Need(top_, "(top)", name).is_array()) Fail(name, "must be an array");
        if (!listError_[list].empty()) throw SceneError{listError_[list]};
    }

    std::string_view text_;
    std::vector<std::string>& warnings_;
    const std::string& name_;
    std::vector<Frame> stack_;
    Json top_;
    Json element_;
    size_t unknown_ = 0;
    size_t bodyEntries_ = 0;
    std::vector<SceneParticle> particles_;
    std::vector<ConstraintRead> constraints_;
    std::vector<BodyRead> bodies_;
    std::string listError_[kListCount];
};

// Slot order: each element at most once. List order: the same elements as the slots.
void ReadOrder(const Json& top, const char* slotsKey, const char* listKey, size_t count,
               const char* what, std::vector<int32_t>& slots, std::vector<int32_t>& list) {
    if (const Json* s = Find(top, slotsKey)) {
        slots = InRange(Indices(*s, slotsKey), slotsKey, count, what);
    } else {
        for (size_t i = 0; i < count; ++i) slots.push_back(static_cast<int32_t>(i));
    }
    std::vector<uint8_t> inSlots(count, 0);
    for (size_t i = 0; i < slots.size(); ++i) {
        uint8_t& seen = inSlots[static_cast<size_t>(slots[i])];
        if (seen) {
            Fail(At(slotsKey, i),
                 std::string(what) + " " + std::to_string(slots[i]) + " holds a second slot");
        }
        seen = 1;
    }
    const Json* l = Find(top, listKey);
    if (l == nullptr) {
        list = slots;
        return;
    }
    list = InRange(Indices(*l, listKey), listKey, count, what);
    std::vector<uint8_t> inList(count, 0);
    for (size_t i = 0; i < list.size(); ++i) {
        const size_t k = static_cast<size_t>(list[i]);
        if (!inSlots[k]) {
            Fail(At(listKey, i), std::string(what) + " " + std::to_string(k) +
                                     " is listed but holds no slot in " + slotsKey);
        }
        if (inList[k]) {
            Fail(At(listKey, i), std::string(what) + " " + std::to_string(k) + " is listed twice");
        }
        inList[k] = 1;
    }
    if (list.size() != slots.size()) {
        Fail(listKey, std::string("must list every ") + what + " of " + slotsKey + " (" +
                          std::to_string(slots.size()) + "), lists " + std::to_string(list.size()));
    }
}

// ---- What a world can step.

void Within(float v, float limit, const std::string& path, float lo) {
    if (!(v >= lo && v <= limit)) {
        // (The limits are whole numbers, written out in full.)
        Fail(path, "must be in " + std::to_string(static_cast<int64_t>(lo)) + ".." +
                       std::to_string(static_cast<int64_t>(limit)) + ", not " + SceneFloatText(v));
    }
}
void Within(float v, float limit, const std::string& path) { Within(v, limit, path, -limit); }
void Within(const SceneVec& v, float limit, const std::string& path) {
    Within(v.x, limit, path + "[0]");
    Within(v.y, limit, path + "[1]");
}

// Values a world can step but that are likely to blow it up: one warning per kind, naming the
// first.
class Risks {
  public:
    void Note(bool risky, const std::string& path, const char* what) {
        if (!risky) return;
        auto [it, added] = seen_.try_emplace(what, path, 0);
        ++it->second.second;
        if (added) order_.push_back(what);
    }
    void Report(std::vector<std::string>& warnings, const std::string& name) const {
        for (const char* what : order_) {
            const auto& [path, count] = seen_.at(what);
            warnings.push_back(name + ": " + path + ": " + what +
                               (count > 1 ? " (and " + std::to_string(count - 1) + " more)" : ""));
        }
    }

  private:
    std::map<std::string, std::pair<std::string, size_t>> seen_;
    std::vector<const char*> order_;
};

void CheckValues(const SceneData& s, std::vector<std::string>& warnings, const std::string& name) {
    const float c = kMaxSceneCoordinate;
    Within(s.width, c, "world.width");
    Within(s.height, c, "world.height");
    Within(s.gravity, kMaxSceneGravity, "world.gravity");
    if (s.bodyIdCount > kMaxSceneBodyId) {
        Fail("world.bodyIdCount", "must be at most " + std::to_string(kMaxSceneBodyId));
    }
    Risks risks;
    for (size_t i = 0; i < s.particles.size(); ++i) {
        const SceneParticle& p = s.particles[i];
        const std::string path = At("particles", i);
        Within(p.pos, c, path + ".pos");
        Within(p.vel, c, path + ".vel");
        Within(p.oldpos, c, path + ".oldpos");
        Within(p.accvel, c, path + ".accvel");
        if (p.active != 0 && !(p.mass > 0.0f)) {
            Fail(path + ".mass",
                 "must be above 0 for a particle that moves, not " + SceneFloatText(p.mass));
        }
        Within(p.mass, kMaxSceneMass, path + ".mass", 0.0f);
    }
    for (size_t i = 0; i < s.constraints.size(); ++i) {
        const SceneConstraint& k = s.constraints[i];
        const std::string path = At("constraints", i);
        Within(k.elasticity, kMaxSceneElasticity, path + ".elasticity", 0.0f);
        risks.Note(k.elasticity > 1.0f, path + ".elasticity",
                   "elasticity above 1 corrects past the length, and may shake the scene apart");
        Within(k.OriginalLength, c, path + ".originalLength", 0.0f);
        Within(k.TargetLength, c, path + ".targetLength", 0.0f);
        Within(k.BreakPoint, c, path + ".breakPoint");
    }
    for (size_t i = 0; i < s.bodies.size(); ++i) {
        const SceneBody& b = s.bodies[i];
        const std::string path = At("bodies", i);
        Within(b.minxy, c, path + ".minxy");
        Within(b.maxxy, c, path + ".maxxy");
        Within(b.Pos, c, path + ".pos");
        Within(b.Vel, c, path + ".vel");
        Within(b.bounce, kMaxBounceOrFriction, path + ".bounce");
        Within(b.friction, kMaxBounceOrFriction, path + ".friction");
        risks.Note(b.bounce < 0.0f || b.bounce > 1.0f, path + ".bounce",
                   "bounce outside 0..1 adds energy at contacts");
        risks.Note(b.friction < 0.0f || b.friction > 1.0f, path + ".friction",
                   "friction outside 0..1 adds energy at contacts");
    }
    Within(s.session.throwBounce, kMaxBounceOrFriction, "session.throwBounce");
    Within(s.session.throwFriction, kMaxBounceOrFriction, "session.throwFriction");
    Within(s.session.grabTarget, c, "session.grab.target");
    CheckGrab(s);
    risks.Report(warnings, name);
}

SceneData SceneReader::Finish() {
    const Json& top = top_;
    MustBeObject(top, "(top)");
    const Json& version = Need(top, "(top)", "version");
    if (!version.is_number_integer() || version.get<std::int64_t>() != kSceneVersion) {
        Fail("version", "unknown version " + Shown(version.dump()) + " (this program reads " +
                            std::to_string(kSceneVersion) + ")");
    }
    SceneData s;
    const Json& w = Need(top, "(top)", "world");
    MustBeObject(w, "world");
    s.width = Float(Need(w, "world", "width"), "world.width");
    s.height = Float(Need(w, "world", "height"), "world.height");
    if (!(s.width > 0.0f)) Fail("world.width", "must be above 0");
    if (!(s.height > 0.0f)) Fail("world.height", "must be above 0");
    Optional(w, "world", "constraintIterations", s.constraintIterations,
             [](const Json& v, const std::string& p) {
                 return static_cast<int32_t>(Whole(v, p, 0, kMaxSceneIterations));
             });
    Optional(w, "world", "gravity", s.gravity, Vec);
    Optional(w, "world", "gravityx", s.gravityx, Float);
    Optional(w, "world", "gravityy", s.gravityy, Float);
    Optional(w, "world", "stepMode", s.stepMode, [](const Json& v, const std::string& p) {
        if (v.is_string() && v.get<std::string>() == "default") return StepMode::kDefault;
        if (v.is_string() && v.get<std::string>() == "stable") return StepMode::kStable;
        Fail(p, "must be \"default\" or \"stable\", got " + Shown(v.dump()));
    });
    Optional(w, "world", "contactDamping", s.contactDamping,
             [](const Json& v, const std::string& p) {
                 const float d = Float(v, p);
                 if (!(d >= 0.0f && d <= 1.0f))
                     Fail(p, "must be in 0..1, not " + SceneFloatText(d));
                 return d;
             });

    TakeList(kParticles);
    s.particles = std::move(particles_);
    TakeList(kConstraints);
    s.constraints.reserve(constraints_.size());
    for (size_t i = 0; i < constraints_.size(); ++i) {
        ConstraintRead& r = constraints_[i];
        const std::string path = At("constraints", i);
        const std::vector<int32_t> e =
            InRange(r.ends, path + ".ends", s.particles.size(), "particle");
        r.c.v1 = e[0];
        r.c.v2 = e[1];
        if (!r.lengthGiven) {
            // As a constraint made with no length: the distance between its ends.
            const SceneVec& a = s.particles[static_cast<size_t>(r.c.v1)].pos;
            const SceneVec& b = s.particles[static_cast<size_t>(r.c.v2)].pos;
            const float dx = a.x - b.x;
            const float dy = a.y - b.y;
            r.c.OriginalLength = std::sqrt(dx * dx + dy * dy);
            if (!std::isfinite(r.c.OriginalLength)) {
                Fail(path, "the distance between the ends is too large for a length");
            }
        }
        if (!r.targetGiven) r.c.TargetLength = r.c.OriginalLength;
        s.constraints.push_back(r.c);
    }

    ReadOrder(top, "particleSlots", "particleList", s.particles.size(), "particle", s.particleSlots,
              s.particleList);
    ReadOrder(top, "constraintSlots", "constraintList", s.constraints.size(), "constraint",
              s.constraintSlots, s.constraintList);

    TakeList(kBodies);
    const size_t counts[4] = {s.particles.size(), s.particles.size(), s.constraints.size(),
                              s.constraints.size()};
    const char* what[4] = {"particle", "particle", "constraint", "constraint"};
    s.bodies.reserve(bodies_.size());
    for (size_t i = 0; i < bodies_.size(); ++i) {
        BodyRead& r = bodies_[i];
        std::vector<int32_t>* lists[4] = {&r.b.verlets, &r.b.activeverlets, &r.b.constraints,
                                          &r.b.activeconstraints};
        for (int32_t k = 0; k < 4; ++k) {
            *lists[k] =
                InRange(r.lists[k], At("bodies", i) + "." + kBodyLists[k], counts[k], what[k]);
        }
        s.bodies.push_back(std::move(r.b));
    }
    s.bodyIdCount = static_cast<int32_t>(s.bodies.size());
    Optional(w, "world", "bodyIdCount", s.bodyIdCount, [](const Json& v, const std::string& p) {
        return static_cast<int32_t>(Whole(v, p, INT32_MIN, INT32_MAX));
    });
    const Json& t = Need(top, "(top)", "template");
    if (s.bodies.empty()) Fail("template", "names a body, but the scene has none");
    s.templateBody =
        static_cast<int32_t>(Whole(t, "template", 0, static_cast<int64_t>(s.bodies.size()) - 1));
    if (const Json* v = Find(top, "session")) s.session = ReadSession(*v);
    CheckValues(s, warnings_, name_);
    if (unknown_ > kMaxUnknownWarnings) {
        warnings_.push_back(name_ + ": " + std::to_string(unknown_ - kMaxUnknownWarnings) +
                            " more unknown fields ignored");
    }
    return s;
}

}  // namespace

SceneLoad LoadScene(std::string_view text, const std::string& name) {
    SceneLoad out;
    try {
        if (text.size() > kMaxSceneBytes) {
            throw SceneError{": the file is " + std::to_string(text.size()) +
                             " bytes; the limit is " + std::to_string(kMaxSceneBytes)};
        }
        SceneReader reader(text, out.warnings, name);
        Json::sax_parse(text.begin(), text.end(), &reader);
        out.scene = reader.Finish();
    } catch (const SceneError& e) {
        out.scene.reset();
        out.error = name + e.tail;
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
