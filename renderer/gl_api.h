// OpenGL 1.1 + GLU declarations without pulling <windows.h> into portable code.
#pragma once

#if defined(_WIN32)
// The Windows GL headers only need these three macros from <windows.h>.
#  ifndef APIENTRY
#    define APIENTRY __stdcall
#    define GLASSFALL_DEFINED_APIENTRY
#  endif
#  ifndef WINGDIAPI
#    define WINGDIAPI __declspec(dllimport)
#    define GLASSFALL_DEFINED_WINGDIAPI
#  endif
#  ifndef CALLBACK
#    define CALLBACK __stdcall
#    define GLASSFALL_DEFINED_CALLBACK
#  endif
#endif

#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_BGR_EXT
#  define GL_BGR_EXT 0x80E0
#endif

#if defined(GLASSFALL_DEFINED_APIENTRY)
#  undef APIENTRY
#  undef GLASSFALL_DEFINED_APIENTRY
#endif
#if defined(GLASSFALL_DEFINED_WINGDIAPI)
#  undef WINGDIAPI
#  undef GLASSFALL_DEFINED_WINGDIAPI
#endif
#if defined(GLASSFALL_DEFINED_CALLBACK)
#  undef CALLBACK
#  undef GLASSFALL_DEFINED_CALLBACK
#endif
