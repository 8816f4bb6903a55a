// Writing a scene file: one line per particle, constraint and body, fields the reader would
// fill in the same way left out, and every float in the shortest text that reads back to its
// own bits.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include "app/scene_file.h"

namespace {

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

// Left out while it is the programs' own start with no throw under way (the cursor then
// matters to no step), so that such a state saves as it always did.
void AppendSession(std::string& out, const SceneSession& t) {
    const SceneSession start;
    auto settings = [](const SceneSession& x) {
        return std::tuple(x.stepsPerFrame, x.paused, x.captured, x.throwDivisor,
                          FloatBits(x.throwBounce), FloatBits(x.throwFriction), x.held, x.buttons,
                          x.grabParticle);
    };
    if (settings(t) == settings(start)) return;
    auto flag = [](bool b) { return b ? "true" : "false"; };
    out += "  \"session\": {\"stepsPerFrame\": " + std::to_string(t.stepsPerFrame) +
           ", \"paused\": " + flag(t.paused) + ", \"captured\": " + flag(t.captured) +
           ", \"throwDivisor\": " + std::to_string(t.throwDivisor) +
           ", \"throwBounce\": " + SceneFloatText(t.throwBounce) +
           ", \"throwFriction\": " + SceneFloatText(t.throwFriction) +
           ",\n              \"held\": " + flag(t.held) +
           ", \"buttons\": " + std::to_string(t.buttons) + ", \"cursor\": [" +
           std::to_string(t.cursorX) + ", " + std::to_string(t.cursorY) + "], \"dragFrom\": [" +
           std::to_string(t.dragX) + ", " + std::to_string(t.dragY) + "]";
    if (t.grabParticle >= 0) {
        out += ",\n              \"grab\": {\"particle\": " + std::to_string(t.grabParticle) +
               ", \"anchor\": " + std::to_string(t.grabAnchor) +
               ", \"spring\": " + std::to_string(t.grabSpring) + ", \"target\": [" +
               SceneFloatText(t.grabTarget.x) + ", " + SceneFloatText(t.grabTarget.y) + "]}";
    }
    out += "},\n";
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
           ", \"bodyIdCount\": " + std::to_string(s.bodyIdCount);
    // Written only when it is not the default, so that files of the default step stay as they were.
    if (s.stepMode == StepMode::kStable) out += ", \"stepMode\": \"stable\"";
    if (s.contactDamping != 0.0f) {
        out += ", \"contactDamping\": " + SceneFloatText(s.contactDamping);
    }
    out += "},\n";
    out += "  \"template\": " + std::to_string(s.templateBody) + ",\n";
    AppendSession(out, s.session);
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
