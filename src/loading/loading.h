// loading.h -- the loading screen: map, characters and status panel, with a progress bar.
#pragma once
#include "platform/surface.h"

struct Loading_State {
    bool Data_Loaded = false;
    Surface Status_Panel;   // "images\s.bmp", drawn by the game screen
};
extern Loading_State Loading;
void Reset_Loading();

void Show_Loading();
void Draw_Loading_Frame(const Rect& background_rect, const Rect& bar_rect, const Surface& background,
                        const Surface& bar);
