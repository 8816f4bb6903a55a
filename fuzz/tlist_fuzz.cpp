// TList under arbitrary sequences of appends, removals and walks that are interleaved with
// them, checked step by step against a model kept in plain vectors: the live elements in order,
// and for every removed link the successor it kept. The model follows the list's documented
// rule: a walk stands on the link after the element it returned; a removed link keeps its
// successor, so a walk standing on it yields none once and goes on from there (and a walk
// standing on the head, having returned the last element, ends even if more is appended).
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "runtime/tlist.h"

namespace {

class Item : public Object {
  public:
    static inline const ClassInfo kClass{"Item", &Object::kClass};
    explicit Item(int32_t n) : Object(kClass), id(n) {}
    int32_t id;
};

class Other : public Object {
  public:
    static inline const ClassInfo kClass{"Other", &Object::kClass};
    Other() : Object(kClass) {}
};

constexpr int32_t kItems = 6;
constexpr int32_t kNone = -1;       // value of a none element (and of a removed link)
constexpr int32_t kOther = kItems;  // value id of the one object of another class
constexpr int32_t kHead = -1;       // link id of the head
constexpr size_t kWalks = 4;
constexpr size_t kMaxLinks = 512;

struct ModelLink {
    int32_t value;         // kNone, an item id or kOther
    bool live = true;      // still in the ring
    int32_t succ = kHead;  // kept successor once removed (live links follow `order`)
};

struct Model {
    std::vector<ModelLink> links;  // by link id, in creation order
    std::vector<int32_t> order;    // live link ids, front to back

    int32_t Succ(int32_t link) const {
        const ModelLink& l = links[static_cast<size_t>(link)];
        if (!l.live) return l.succ;
        for (size_t i = 0; i < order.size(); ++i) {
            if (order[i] == link) return i + 1 < order.size() ? order[i + 1] : kHead;
        }
        FuzzFail(__FILE__, __LINE__, "model: live link not in order");
    }
    int32_t First() const { return order.empty() ? kHead : order.front(); }
};

// A walk of either kind, the real one next to the model's position.
struct Walk {
    bool typed = false;
    std::optional<TListEnum> plain;
    TListEach<Item>::iterator each;
    int32_t at = kHead;          // model: the link the walk stands on
    int32_t typedValue = kNone;  // model, typed walk: the item the iterator holds (kNone: end)
};

struct Fuzz {
    std::array<Ref<Item>, kItems> items;
    Ref<Other> other = std::make_shared<Other>();
    std::unique_ptr<TList> list = std::make_unique<TList>();
    Model model;
    std::array<std::optional<Walk>, kWalks> walks;
    std::string trace_;  // the operations so far, for messages

    Fuzz() {
        for (int32_t i = 0; i < kItems; ++i)
            items[static_cast<size_t>(i)] = std::make_shared<Item>(i);
    }

    ObjectRef ObjectOf(int32_t value) const {
        if (value == kNone) return nullptr;
        if (value == kOther) return other;
        return items[static_cast<size_t>(value)];
    }
    int32_t ValueOf(const Object* o) const {
        if (o == nullptr) return kNone;
        if (o == other.get()) return kOther;
        const auto* it = ObjectCast<Item>(const_cast<Object*>(o));
        FUZZ_CHECK(it != nullptr && items[static_cast<size_t>(it->id)].get() == it,
                   "a walk returned an object never listed; ops " + trace_);
        return it->id;
    }

    void AddLast(int32_t value) {
        LinkRef link = list->AddLast(ObjectOf(value));
        FUZZ_CHECK_OPS(link && link->_value.get() == ObjectOf(value).get(),
                       "AddLast returned a wrong link");
        model.links.push_back({value});
        model.order.push_back(static_cast<int32_t>(model.links.size() - 1));
    }

    void Remove(int32_t value) {
        const int32_t got = list->Remove(ObjectOf(value).get());
        int32_t expected = 0;
        for (size_t i = 0; i < model.order.size(); ++i) {
            const int32_t id = model.order[i];
            ModelLink& l = model.links[static_cast<size_t>(id)];
            if (l.value != value) continue;
            l.succ = model.Succ(id);
            l.live = false;
            l.value = kNone;
            model.order.erase(model.order.begin() + static_cast<std::ptrdiff_t>(i));
            expected = 1;
            break;
        }
        FUZZ_CHECK_OPS(got == expected, "Remove returned " + std::to_string(got));
    }

    // The list dies under its walks: every live link then leads to the head and holds none.
    void Destroy() {
        list.reset();
        for (int32_t id : model.order) {
            ModelLink& l = model.links[static_cast<size_t>(id)];
            l.live = false;
            l.value = kNone;
            l.succ = kHead;
        }
        model.order.clear();
    }

    // Fresh list and model; the old walks (and the links they hold) go first.
    void Renew() {
        for (auto& w : walks) w.reset();
        list = std::make_unique<TList>();
        model = Model{};
    }

    // One step of the model's walk: the value at the link it stands on, then on to its successor.
    int32_t ModelNext(Walk& w) {
        const int32_t value = model.links[static_cast<size_t>(w.at)].value;
        w.at = model.Succ(w.at);
        return value;
    }
    // The model's typed walk: on to the next item, skipping none and the other class.
    void ModelAdvance(Walk& w) {
        w.typedValue = kNone;
        while (w.at != kHead) {
            const int32_t v = ModelNext(w);
            if (v != kNone && v != kOther) {
                w.typedValue = v;
                return;
            }
        }
    }

    void StartWalk(size_t slot, bool typed) {
        if (!list) return;
        Walk& w = walks[slot].emplace();
        w.typed = typed;
        w.at = model.First();
        if (typed) {
            w.each = list->each<Item>().begin();
            ModelAdvance(w);
            CheckTyped(w);
        } else {
            w.plain.emplace(list->ObjectEnumerator());
        }
    }

    void CheckTyped(const Walk& w) {
        Item* got = *w.each;
        const int32_t expected = w.typedValue;
        FUZZ_CHECK_OPS(
            got == (expected == kNone ? nullptr : items[static_cast<size_t>(expected)].get()),
            "typed walk holds " + std::to_string(got ? got->id : kNone) + ", model " +
                std::to_string(expected));
    }

    void StepWalk(size_t slot) {
        if (!walks[slot]) return;
        Walk& w = *walks[slot];
        if (w.typed) {
            if (w.typedValue == kNone) return;  // at its end: nothing more to ask
            ++w.each;
            ModelAdvance(w);
            CheckTyped(w);
            return;
        }
        const bool has = w.plain->HasNext();
        FUZZ_CHECK_OPS(has == (w.at != kHead), "HasNext is " + std::to_string(has));
        if (!has) return;
        const int32_t got = ValueOf(w.plain->NextObject().get());
        const int32_t expected = ModelNext(w);
        FUZZ_CHECK_OPS(got == expected, "NextObject gave " + std::to_string(got) + ", model " +
                                            std::to_string(expected));
    }

    void CheckList() {
        if (!list) return;
        FUZZ_CHECK_OPS(list->Count() == static_cast<int32_t>(model.order.size()), "Count differs");
        FUZZ_CHECK_OPS(list->IsEmpty() == model.order.empty(), "IsEmpty differs");
        const int32_t first =
            model.order.empty() ? kNone : model.links[static_cast<size_t>(model.order[0])].value;
        FUZZ_CHECK_OPS(list->First().get() == ObjectOf(first).get(), "First differs");
        // The whole order, through a fresh walk.
        TListEnum e = list->ObjectEnumerator();
        for (int32_t id : model.order) {
            FUZZ_CHECK_OPS(e.HasNext(), "a fresh walk ends early");
            FUZZ_CHECK_OPS(
                ValueOf(e.NextObject().get()) == model.links[static_cast<size_t>(id)].value,
                "a fresh walk sees another order");
        }
        FUZZ_CHECK_OPS(!e.HasNext(), "a fresh walk runs on past the model's end");
        for (int32_t v = kNone; v <= kOther; ++v) {
            bool listed = false;
            for (int32_t id : model.order)
                listed |= model.links[static_cast<size_t>(id)].value == v;
            if (v != kNone)
                FUZZ_CHECK_OPS(list->Contains(ObjectOf(v).get()) == listed, "Contains differs");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    {
        Fuzz f;
        while (!in.empty()) {
            const uint8_t op = in.Byte();
            const uint8_t arg = in.Byte();
            f.trace_ += std::to_string(op % 8) + ":" + std::to_string(arg) + " ";
            switch (op % 8) {
                case 0:
                case 1:  // appends are the commonest, so that lists grow
                    if (f.list && f.model.links.size() < kMaxLinks) {
                        f.AddLast(static_cast<int32_t>(arg % (kItems + 2)) - 1);
                    }
                    break;
                case 2:
                    if (f.list) f.Remove(static_cast<int32_t>(arg % (kItems + 2)) - 1);
                    break;
                case 3:
                    f.StartWalk(arg % kWalks, (arg / kWalks) % 2 == 1);
                    break;
                case 4:
                case 5:
                    f.StepWalk(arg % kWalks);
                    break;
                case 6:
                    f.walks[arg % kWalks].reset();
                    break;
                case 7:
                    if (arg % 4 == 0) {
                        if (f.list) {
                            f.Destroy();
                        } else {
                            f.Renew();
                        }
                    }
                    break;
            }
            f.CheckList();
        }
        // Let every walk run to its end: the model says where each one goes, even over a list
        // that has been destroyed.
        for (size_t s = 0; s < kWalks; ++s) {
            for (size_t guard = 0; f.walks[s] && guard <= kMaxLinks + 1; ++guard) {
                Walk& w = *f.walks[s];
                const bool ended = w.typed ? w.typedValue == kNone : w.at == kHead;
                if (ended) {
                    if (!w.typed)
                        FUZZ_CHECK(!w.plain->HasNext(),
                                   "HasNext at the model's end; ops " + f.trace_);
                    break;
                }
                f.StepWalk(s);
            }
        }
        // Dropping the list and the walks releases every reference they took.
        for (auto& w : f.walks) w.reset();
        f.list.reset();
        for (const Ref<Item>& it : f.items)
            FUZZ_CHECK(it.use_count() == 1, "an item is still referenced; ops " + f.trace_);
        FUZZ_CHECK(f.other.use_count() == 1,
                   "the other object is still referenced; ops " + f.trace_);
    }
    return 0;
}
