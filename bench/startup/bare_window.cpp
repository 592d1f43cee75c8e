// bare_window.cpp -- the start-up yardstick: a bare SDL program that opens the window and renderer
// the client opens (full screen, the same renderer choice and hints) and presents one grey frame,
// then waits to be ended. scripts/startup_time.sh times it beside the client.
#include <SDL.h>

#include <filesystem>
#include <vector>

int main(int, char**) {
#if defined(__linux__)
    // The client's rule: no graphics device to be seen, SDL's software renderer.
    std::error_code ec;
    if (!std::filesystem::exists("/dev/dri", ec) && !std::filesystem::exists("/dev/nvidia0", ec)) {
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
#endif
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return 1;
    SDL_DisplayMode desktop{};
    int w = 1280, h = 960;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) w = desktop.w, h = desktop.h;
    SDL_Window* window = SDL_CreateWindow("bare", 0, 0, w, h, SDL_WINDOW_FULLSCREEN_DESKTOP);
    if (!window) return 1;
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer) return 1;
    SDL_RenderSetLogicalSize(renderer, 640, 480);
    SDL_Texture* texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, 640, 480);
    const std::vector<Uint16> grey(640 * 480, 0x8410);
    SDL_UpdateTexture(texture, nullptr, grey.data(), 640 * 2);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
    for (SDL_Event e; SDL_WaitEvent(&e) && e.type != SDL_QUIT;) {}
    SDL_Quit();
    return 0;
}
