#include "app/session_record.h"

#include "app/command.h"
#include "app/message.h"
#include "host/input.h"

class SessionRecorder::Listener : public Object {
  public:
    static const ClassInfo kClass;
    explicit Listener(SessionRecorder* recorder) : Object(kClass), recorder(recorder) {}
    SessionRecorder* recorder;
};
const ClassInfo SessionRecorder::Listener::kClass{"SessionListener", &Object::kClass};

namespace {

// First on the chain, so that it sees every event whatever the others do with it.
constexpr int32_t kRecorderPriority = 1000000;

}  // namespace

SessionRecorder::SessionRecorder(std::FILE* out, const std::string& note) : out_(out) {
    hookContext_ = std::make_shared<Listener>(this);
    // One comment line whatever the note holds (a scene's file name may hold a line break).
    ok_ = std::fprintf(out_, "# %s\n", Printable(note).c_str()) > 0;
}

SessionRecorder::~SessionRecorder() { Stop(); }

void SessionRecorder::Start() {
    if (started_) return;
    AttachHook(EventHook, &SessionRecorder::OnEvent, hookContext_, kRecorderPriority);
    SetPumpListener(&SessionRecorder::OnPump, this);
    started_ = true;
}

void SessionRecorder::Stop() {
    if (!started_) return;
    DetachHook(EventHook, &SessionRecorder::OnEvent, hookContext_);
    SetPumpListener(nullptr, nullptr);
    started_ = false;
}

void SessionRecorder::BeginFrame(int32_t frame) {
    frame_ = frame;
    pump_ = 0;
}

void SessionRecorder::OnPump(void* self) { ++static_cast<SessionRecorder*>(self)->pump_; }

ObjectRef SessionRecorder::OnEvent(int32_t, const ObjectRef& data, const ObjectRef& context) {
    if (const TEvent* ev = ObjectCast<TEvent>(data.get())) {
        static_cast<Listener*>(context.get())->recorder->Event(ev->id, ev->data, ev->x, ev->y);
    }
    return data;
}

void SessionRecorder::Event(int32_t id, int32_t data, int32_t x, int32_t y) {
    const bool button = data >= 1 && data <= 3;
    const bool key = data >= 1 && data <= 255;
    switch (id) {
        case kEventMouseMove:
            Line(true, "move " + std::to_string(x) + " " + std::to_string(y));
            break;
        case kEventMouseDown:
        case kEventMouseUp:
            if (button)
                Line(true, (id == kEventMouseDown ? "down " : "up ") + std::to_string(data));
            break;
        case kEventKeyDown:
        case kEventKeyUp:
            if (key) {
                Line(true, (id == kEventKeyDown ? "keydown " : "keyup ") + std::to_string(data));
            }
            break;
        case kEventMouseWheel:
            Line(true, "wheel " + std::to_string(data));
            break;
        case kEventAppSuspend:
        case kEventAppResume:
            Line(true, id == kEventAppResume ? "focus 1" : "focus 0");
            break;
        default:  // repeats, typed characters, enter and leave follow from the events above
            break;
    }
}

void SessionRecorder::Command(const ControlCommand& command) { Line(false, CommandText(command)); }

void SessionRecorder::Line(bool withPump, const std::string& text) {
    int n = 0;
    if (withPump && frame_ == 0) {
        // Start-up events always name their pump: a plain frame 0 is no frame at all.
        n = std::fprintf(out_, "0@%d %s\n", pump_ > 1 ? pump_ : 1, text.c_str());
    } else if (withPump && pump_ > 1) {
        n = std::fprintf(out_, "%d@%d %s\n", frame_, pump_, text.c_str());
    } else {
        n = std::fprintf(out_, "%d %s\n", frame_, text.c_str());
    }
    if (n < 0) ok_ = false;
}

bool SessionRecorder::Flush() {
    if (std::fflush(out_) != 0) ok_ = false;
    return ok_;
}

bool SessionRecorder::Finish(int32_t framesRun) {
    if (std::fprintf(out_, "# the session ran %d frames\n", framesRun) < 0) ok_ = false;
    return Flush();
}
