#include "runtime/tlist.h"

const ClassInfo TList::kClass{"TList", &Object::kClass};

LinkRef& LinkRef::operator=(const LinkRef& o) {
    LinkRef tmp(o);
    std::swap(p_, tmp.p_);
    return *this;
}

LinkRef& LinkRef::operator=(LinkRef&& o) noexcept {
    if (this != &o) {
        LinkRef tmp(std::move(o));
        std::swap(p_, tmp.p_);
    }
    return *this;
}

// Out of line: freeing a link may free its neighbours' references and its value in turn.
void LinkRef::Free(TLink* p) { delete p; }

TList::TList() : Object(kClass), head_(new TLink) {
    head_->_succ = head_;
    head_->_pred = head_;
}

TList::~TList() {
    // Point every link at the head and drop its value, one link at a time, so that a walk still
    // standing in the list ends cleanly and no chain of links is freed recursively.
    LinkRef cur = head_->_succ;
    head_->_succ.reset();
    head_->_pred.reset();
    while (cur.get() != head_.get()) {
        LinkRef next = cur->_succ;
        cur->_succ = head_;
        cur->_pred.reset();
        cur->_value.reset();
        cur = std::move(next);
    }
}

LinkRef TList::AddLast(ObjectRef value) {
    LinkRef link(new TLink);
    link->_value = std::move(value);
    link->_pred = head_->_pred;
    link->_succ = head_;
    head_->_pred->_succ = link;
    head_->_pred = link;
    return link;
}

int32_t TList::Remove(const Object* obj) {
    for (TLink* l = head_->_succ.get(); l != head_.get(); l = l->_succ.get()) {
        if (l->_value.get() != obj) continue;
        LinkRef keep(l);  // the ring's references go below; keep the link alive until done
        l->_value.reset();
        l->_succ->_pred = l->_pred;
        l->_pred->_succ = l->_succ;
        return 1;
    }
    return 0;
}

int32_t TList::Count() const {
    int32_t n = 0;
    for (TLink* l = head_->_succ.get(); l != head_.get(); l = l->_succ.get()) ++n;
    return n;
}

bool TList::Contains(const Object* obj) const {
    for (TLink* l = head_->_succ.get(); l != head_.get(); l = l->_succ.get()) {
        if (l->_value.get() == obj) return true;
    }
    return false;
}
