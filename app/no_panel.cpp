// The panel where Dear ImGui is not to be had (the browser build): it takes no events and draws
// nothing. The controls still apply every command they are given, which alone change a run, so
// a replay without the panel runs exactly as one with it; the page has no panel to open.

#include "app/panel.h"

Panel::Panel(Controls& controls) : controls_(controls) {}
Panel::~Panel() = default;
void Panel::Start() {}
void Panel::Stop() {}
void Panel::Draw(DemoState& /*state*/) {}
