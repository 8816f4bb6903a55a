#pragma once
// Start-up of the SDL host, and helpers for scripts and tests (host/backend.h): they push real
// SDL events onto SDL's queue, which the normal pump then translates like any other input, and
// read back the picture being drawn. StartHost starts SDL's video and events; the video driver
// is SDL's default unless SDL_VIDEODRIVER names one.

#include "host/backend.h"
