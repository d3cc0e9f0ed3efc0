// Test helper: loads a snapshot file through the renderer's Texture on a real WGL context and
// prints what the GL made of it, so a test can see the size a large desktop is scaled to.
//
//   gftexture_probe FILE    prints "max N", "level0 W H", "mean R G B" (level 0); exit 1 if it fails
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <vector>

#include "gl_api.h"
#include "texture.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gftexture_probe FILE\n");
    return 2;
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = "GlassfallTextureProbe";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "GlassfallTextureProbe", WS_POPUP, 0, 0, 16, 16, nullptr,
                                nullptr, instance, nullptr);
  HDC dc = GetDC(window);
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 24;
  SetPixelFormat(dc, ChoosePixelFormat(dc, &pfd), &pfd);
  HGLRC context = wglCreateContext(dc);
  if (!context || !wglMakeCurrent(dc, context)) {
    std::printf("no GL context\n");
    return 1;
  }
  int result = 1;
  {
    Texture texture;
    if (texture.load(argv[1])) {
      GLint max = 0, width = 0, height = 0;
      glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
      std::printf("max %d\nlevel0 %d %d\n", max, width, height);
      if (width > 0 && height > 0) {
        std::vector<unsigned char> pixels(std::size_t(width) * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        double sum[3] = {0, 0, 0};
        for (std::size_t i = 0; i < pixels.size(); ++i) sum[i % 3] += pixels[i];
        const double n = double(width) * height;
        std::printf("mean %.1f %.1f %.1f\n", sum[0] / n, sum[1] / n, sum[2] / n);
        result = 0;
      }
    } else {
      std::printf("load failed\n");
    }
  }
  wglMakeCurrent(dc, nullptr);
  wglDeleteContext(context);
  DestroyWindow(window);
  return result;
}
