// sdl_window.cpp -- the real window: SDL2 presents the 640 x 480 back buffer scaled with its
// aspect kept, and turns mouse, keyboard and input-method events into the game's window events.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/backends.h"
#include "platform/encoding.h"
#include "platform/surface.h"

namespace {

constexpr int LOGICAL_WIDTH = 640, LOGICAL_HEIGHT = 480;
constexpr int DEFAULT_REFRESH_HZ = 60;   // where the display does not say

// Whether OpenGL could only draw in software here: no graphics device to be seen. SDL's own
// renderer, presenting through shared memory, then costs a fraction of a software OpenGL's time
// per frame (and of its start-up). SDL_RENDER_DRIVER and SDL_FRAMEBUFFER_ACCELERATION in the
// environment still decide over this.
bool Software_Rendering_Only() {
#if defined(__linux__)
    std::error_code ec;
    return !std::filesystem::exists("/dev/dri", ec) && !std::filesystem::exists("/dev/nvidia0", ec);
#else
    return false;
#endif
}

class Sdl_Window : public Window_Backend {
public:
    ~Sdl_Window() override {
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        if (started) {
            SDL_StopTextInput();
            SDL_Quit();
        }
    }

    // False (with the reason on stderr) when SDL cannot give a window.
    bool Open(bool windowed, int scale) {
        window_scale = scale;
        // Compositions come to the program as editing events (shown at the entry's caret), the
        // candidate list stays the input method's own, and long commits are not cut.
        SDL_SetHint(SDL_HINT_IME_INTERNAL_EDITING, "0");
        SDL_SetHint(SDL_HINT_IME_SHOW_UI, "1");
        SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        if (Software_Rendering_Only()) {
            SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
            SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        }
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return Fail("cannot start SDL");
        started = true;
        if (!Display_Reachable()) return false;

        const Uint32 flags = windowed ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_FULLSCREEN_DESKTOP;
        // Full screen starts at the desktop's size and corner, so that it covers the screen even
        // where no window manager carries out the switch (a bare X server).
        int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED, w = scale * LOGICAL_WIDTH,
            h = scale * LOGICAL_HEIGHT;
        SDL_DisplayMode desktop;
        if (!windowed && SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
            x = y = 0;
            w = desktop.w;
            h = desktop.h;
        }
        window = SDL_CreateWindow("isoclient", x, y, w, h, flags);
        if (!window) return Fail("cannot open the window");
        // Presentation waits for the display's refresh, so frames are paced by the display; where it
        // does not (a software renderer), the window paces them itself (Start_Pacing).
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
        if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer) return Fail("cannot draw into the window");
        Start_Pacing();
        // Letterboxes the picture and maps mouse positions back to 640 x 480 pixels.
        SDL_RenderSetLogicalSize(renderer, LOGICAL_WIDTH, LOGICAL_HEIGHT);
        if (!Make_Texture(LOGICAL_WIDTH, LOGICAL_HEIGHT)) return Fail("cannot make the frame texture");
        SDL_StartTextInput();
        return true;
    }

    int32_t Tick_Count() override { return int32_t(SDL_GetTicks()); }

    bool Key_Held(int virtual_key) override {
        int count = 0;
        const Uint8* keys = SDL_GetKeyboardState(&count);
        // A quick tap (pressed and released between two samples, as a key-stroke tool or a fast
        // finger does) counts as held for a short while, so the frame that samples it sees it.
        const Uint32 now = SDL_GetTicks();
        auto tapped = [&](SDL_Scancode s) {
            auto it = pressed_at.find(s);
            return it != pressed_at.end() && now - it->second < TAP_HOLD_MS;
        };
        auto down = [&](SDL_Scancode s) { return (int(s) < count && keys[s] != 0) || tapped(s); };
        switch (virtual_key) {
            case VK_ESCAPE: return down(SDL_SCANCODE_ESCAPE);
            // Alt+Enter switches full screen; it is not an Enter for the screens.
            case VK_RETURN:
                return (down(SDL_SCANCODE_RETURN) || down(SDL_SCANCODE_KP_ENTER)) && !(SDL_GetModState() & KMOD_ALT);
            case VK_TAB: return down(SDL_SCANCODE_TAB);
            default: return false;
        }
    }

    void Poll_Events(std::vector<Window_Event>& out) override {
        SDL_Event e;
        while (SDL_PollEvent(&e)) Translate(e, out);
    }

    void Wait_Events(int32_t timeout_ms) override { SDL_WaitEventTimeout(nullptr, timeout_ms); }

    int32_t Frame_Due_In() override {
        if (!pacing || next_due == 0) return 0;
        const Uint64 now = SDL_GetPerformanceCounter();
        if (now >= next_due) return 0;
        return int32_t(((next_due - now) * 1000 + frequency - 1) / frequency);   // never early
    }

    void Present(const Surface& back_buffer) override {
        if (back_buffer.width <= 0 || back_buffer.height <= 0 ||
            back_buffer.pixels.size() < size_t(back_buffer.width) * size_t(back_buffer.height))
            return;
        if ((back_buffer.width != texture_width || back_buffer.height != texture_height) &&
            !Make_Texture(back_buffer.width, back_buffer.height))
            return;
        if (texture_format == SDL_PIXELFORMAT_RGB565)
            SDL_UpdateTexture(texture, nullptr, back_buffer.pixels.data(), int(back_buffer.width * sizeof(uint16_t)));
        else
            Widen_Into_Texture(back_buffer);
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
        Schedule_Next_Frame();
    }

    void Set_Text_Entry(bool active, int x, int y, int w, int h) override {
        entry_active = active;
        entry = SDL_Rect{x, y, w, h};
        Place_Candidates();
    }

private:
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int texture_width = 0, texture_height = 0;
    int window_scale = 2;   // a window is this many times 640 x 480
    Uint32 texture_format = SDL_PIXELFORMAT_RGB565;
    static constexpr Uint32 TAP_HOLD_MS = 60;
    std::map<SDL_Scancode, Uint32> pressed_at;   // tick of each key's last press
    bool started = false;
    bool left_down = false;
    // Frame pacing where presentation does not wait for the display: the next frame is due one
    // refresh period after the last one was due (performance-counter ticks), so the rate holds
    // without drifting.
    bool pacing = false;
    Uint64 frequency = 1, period = 1, next_due = 0;
    Uint64 count_start = 0;
    int presents_counted = 0, refresh_hz = DEFAULT_REFRESH_HZ;
    bool entry_active = false;
    SDL_Rect entry{0, 0, 0, 0};

    // Without a display SDL falls back to a driver that shows nothing: the game would run unseen
    // until killed. Only a driver the user chose (SDL_VIDEODRIVER) may be one of those.
    static bool Display_Reachable() {
        const char* chosen = SDL_getenv("SDL_VIDEODRIVER");
        const char* driver = SDL_GetCurrentVideoDriver();
        if ((chosen && *chosen) || !driver) return true;
        if (SDL_strcmp(driver, "offscreen") != 0 && SDL_strcmp(driver, "dummy") != 0) return true;
        std::fprintf(stderr,
                     "isoclient: no display to show the game on (SDL found none and would draw off screen).\n"
                     "Start it on a desktop, or point DISPLAY at a running X server (for example DISPLAY=:0),\n"
                     "or run a Wayland session. To run it without a display on purpose, set SDL_VIDEODRIVER.\n");
        return false;
    }

    bool Fail(const char* what) {
        std::fprintf(stderr, "isoclient: %s: %s\n", what, SDL_GetError());
        return false;
    }

    // A software renderer never waits for the display; an accelerated one is trusted to until it
    // is seen presenting far faster than the display refreshes (its wait is then switched off).
    void Start_Pacing() {
        SDL_RendererInfo info{};
        SDL_GetRendererInfo(renderer, &info);
        pacing = (info.flags & SDL_RENDERER_SOFTWARE) != 0 || (info.flags & SDL_RENDERER_PRESENTVSYNC) == 0;
        SDL_DisplayMode mode{};
        if (SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0) refresh_hz = mode.refresh_rate;
        frequency = std::max<Uint64>(1, SDL_GetPerformanceFrequency());
        period = std::max<Uint64>(1, frequency / Uint64(refresh_hz));
    }

    void Schedule_Next_Frame() {
        const Uint64 now = SDL_GetPerformanceCounter();
        if (!pacing) {
            if (now - count_start >= frequency) {
                if (count_start != 0 && presents_counted > refresh_hz * 3 / 2) pacing = true;
                count_start = now;
                presents_counted = 0;
            }
            ++presents_counted;
        }
        // A frame shown before it was due (a screen that does not wait, as the loading screen) or
        // more than a period late starts the count afresh rather than running ahead or hurrying.
        next_due = next_due == 0 || now < next_due || now > next_due + period ? now + period : next_due + period;
    }

    // The frame texture: 16-bit where the renderer converts on the graphics device; in the
    // window's own 32-bit format for SDL's software renderer, whose scaled copy between formats
    // goes pixel by pixel (14 ms a frame at twice the size) while one within a format is fast.
    bool Make_Texture(int w, int h) {
        if (texture) SDL_DestroyTexture(texture);
        texture_format = SDL_PIXELFORMAT_RGB565;
        SDL_RendererInfo info{};
        const Uint32 native = SDL_GetWindowPixelFormat(window);
        if (SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE) &&
            (native == SDL_PIXELFORMAT_RGB888 || native == SDL_PIXELFORMAT_ARGB8888 ||
             native == SDL_PIXELFORMAT_BGR888 || native == SDL_PIXELFORMAT_ABGR8888))
            texture_format = native;
        texture = SDL_CreateTexture(renderer, texture_format, SDL_TEXTUREACCESS_STREAMING, w, h);
        texture_width = texture ? w : 0;
        texture_height = texture ? h : 0;
        return texture != nullptr;
    }

    // Each RGB565 pixel widened to eight bits a channel, the top bits repeated below.
    void Widen_Into_Texture(const Surface& frame) {
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return;
        const bool red_high = texture_format == SDL_PIXELFORMAT_RGB888 || texture_format == SDL_PIXELFORMAT_ARGB8888;
        const int red_shift = red_high ? 16 : 0, blue_shift = red_high ? 0 : 16;
        for (int32_t y = 0; y < frame.height; ++y) {
            const uint16_t* in = &frame.pixels[size_t(y) * size_t(frame.width)];
            auto* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + size_t(y) * size_t(pitch));
            for (int32_t x = 0; x < frame.width; ++x) {
                const uint32_t p = in[x], r = p >> 11, g = (p >> 5) & 63, b = p & 31;
                out[x] = 0xFF000000u | ((r << 3 | r >> 2) << red_shift) | ((g << 2 | g >> 4) << 8) |
                         ((b << 3 | b >> 2) << blue_shift);
            }
        }
        SDL_UnlockTexture(texture);
    }

    // The input method's candidate window goes under the open entry, in window coordinates.
    void Place_Candidates() {
        if (!entry_active) return;
        int left = 0, top = 0, right = 0, bottom = 0;
        SDL_RenderLogicalToWindow(renderer, float(entry.x), float(entry.y), &left, &top);
        SDL_RenderLogicalToWindow(renderer, float(entry.x + entry.w), float(entry.y + entry.h), &right, &bottom);
        SDL_Rect rect{left, top, std::max(1, right - left), std::max(1, bottom - top)};
        SDL_SetTextInputRect(&rect);
    }

    static int16_t Clamp_X(int x) { return int16_t(std::clamp(x, 0, LOGICAL_WIDTH - 1)); }
    static int16_t Clamp_Y(int y) { return int16_t(std::clamp(y, 0, LOGICAL_HEIGHT - 1)); }
    static bool On_Picture(int x, int y) { return x >= 0 && x < LOGICAL_WIDTH && y >= 0 && y < LOGICAL_HEIGHT; }

    static Window_Event Move(int x, int y) {
        Window_Event m;
        m.kind = Window_Event::Mouse_Move;
        m.x = Clamp_X(x);
        m.y = Clamp_Y(y);
        return m;
    }

    static Window_Event Of_Kind(Window_Event::Kind kind) {
        Window_Event k;
        k.kind = kind;
        return k;
    }

    static Window_Event Key(int16_t code) {
        Window_Event k = Of_Kind(Window_Event::Key_Press);
        k.key = code;
        return k;
    }

    static Window_Event Editing(const char* text, int32_t cursor) {
        Window_Event k = Of_Kind(Window_Event::Editing);
        k.text = From_Utf8(text ? text : "");
        k.cursor = cursor;
        return k;
    }

    void Toggle_Full_Screen() {
        const bool full = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
        SDL_SetWindowFullscreen(window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        if (full) SDL_SetWindowSize(window, window_scale * LOGICAL_WIDTH, window_scale * LOGICAL_HEIGHT);
        Place_Candidates();
    }

    void Translate(const SDL_Event& e, std::vector<Window_Event>& out) {
        switch (e.type) {
            case SDL_MOUSEMOTION: out.push_back(Move(e.motion.x, e.motion.y)); break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button == SDL_BUTTON_LEFT) left_down = true;
                break;
            case SDL_MOUSEBUTTONUP:
                // A click is a left press and release on the picture (the bars beside it are not
                // part of the screen).
                if (e.button.button == SDL_BUTTON_LEFT && left_down) {
                    left_down = false;
                    if (On_Picture(e.button.x, e.button.y)) {
                        out.push_back(Move(e.button.x, e.button.y));
                        out.push_back(Of_Kind(Window_Event::Click));
                    }
                }
                break;
            case SDL_KEYDOWN:
                if (!e.key.repeat && !(e.key.keysym.mod & KMOD_ALT))
                    pressed_at[e.key.keysym.scancode] = e.key.timestamp;
                if ((e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER) &&
                    (e.key.keysym.mod & KMOD_ALT)) {
                    if (!e.key.repeat) Toggle_Full_Screen();
                } else if (e.key.keysym.sym == SDLK_BACKSPACE) {
                    out.push_back(Key(8));
                } else if (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER) {
                    out.push_back(Key(13));
                }
                break;
            case SDL_TEXTINPUT: {
                Window_Event t = Of_Kind(Window_Event::Text);
                t.text = From_Utf8(e.text.text);
                out.push_back(std::move(t));
                break;
            }
            case SDL_TEXTEDITING: out.push_back(Editing(e.edit.text, e.edit.start)); break;
            case SDL_TEXTEDITING_EXT:
                out.push_back(Editing(e.editExt.text, e.editExt.start));
                SDL_free(e.editExt.text);
                break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) Place_Candidates();
                break;
            case SDL_QUIT: out.push_back(Of_Kind(Window_Event::Close_Request)); break;
            default: break;
        }
    }
};

}   // namespace

std::unique_ptr<Window_Backend> Make_Sdl_Window(bool windowed, int scale) {
    auto window = std::make_unique<Sdl_Window>();
    if (!window->Open(windowed, scale)) return nullptr;
    return window;
}
