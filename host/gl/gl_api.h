#pragma once
// The OpenGL entry points the renderer uses: what OpenGL 3.3 core, OpenGL ES 3.0 and WebGL 2
// share. Included by the GL back ends' .cpp files only.

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
// OpenGL 3 entry points are linked directly: the system's GL library exports them all.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#endif
