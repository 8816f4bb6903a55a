// The WebAssembly replay draws no pictures, so the panel a script opens is never drawn: the
// controls still apply the script's commands, which alone change the run. The panel here takes
// no events and draws nothing (the desktop's is in app/panel.cpp, built on Dear ImGui, which
// this build does not have).

#include "app/panel.h"

Panel::Panel(Controls& controls) : controls_(controls) {}
Panel::~Panel() = default;
void Panel::Start() {}
void Panel::Stop() {}
void Panel::Draw(DemoState& /*state*/) {}
