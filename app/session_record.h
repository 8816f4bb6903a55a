#pragma once
// Records a live session as a replay script (sandbox --record FILE), so that sandbox-replay
// --input FILE runs it again bit for bit.
//
// Every query of polled input first takes in the pending events, so what the program does
// depends on the query, the pump, at which each event arrives. The recorder counts the pumps of
// each frame (from the frame's quit test, pump 1) and writes each input event the program took
// in as `F kind args` when pump 1 took it, or `F@K kind args` when pump K did; events taken in
// before the first frame (the window's opening and start-up) are frame 0's, always written with
// their pump (`0@K`). Each control command
// is written as `F command args` at the frame whose start applied it. A replay delivers every
// event just before the same pump and applies every command at the same frame's start.

#include <cstdint>
#include <cstdio>
#include <string>

#include "runtime/object.h"

struct ControlCommand;

class SessionRecorder {
  public:
    // `out` stays the caller's; `note` becomes the script's opening comment.
    SessionRecorder(std::FILE* out, const std::string& note);
    ~SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Starts listening to the event chain and the pumps; the host must have started.
    void Start();
    void Stop();
    // The frame whose quit test comes next; its pumps count from 1.
    void BeginFrame(int32_t frame);
    void Command(const ControlCommand& command);
    // Writes out what is buffered; false once anything failed to be written.
    bool Flush();
    // The closing comment; then Flush.
    bool Finish(int32_t framesRun);

  private:
    class Listener;
    static ObjectRef OnEvent(int32_t id, const ObjectRef& data, const ObjectRef& context);
    static void OnPump(void* self);
    void Event(int32_t id, int32_t data, int32_t x, int32_t y);
    void Line(bool withPump, const std::string& text);

    std::FILE* out_;
    Ref<Object> hookContext_;
    bool started_ = false;
    bool ok_ = true;
    int32_t frame_ = 0;
    int32_t pump_ = 0;
};
