// The web page's canvas as a 2D picture: a window with no GL context, whose
// frames are whole RGBA images put on the canvas (the CPU drawing path in a
// browser, which then needs no WebGL at all). SDL still makes the window, so
// keys, clicks and the timer work as with a GL window.
#pragma once

#include <cstdint>

#include "platform/graphics.h"

// A window drawn by putting images on its canvas.
class TCanvasGraphics : public TGraphics {
public:
    ~TCanvasGraphics() override;
    TGraphicsDriver* Driver() const override;
    void Close() override;
};

// Makes canvas windows; its Flip shows nothing new (the image already is on
// the canvas: the browser shows it once the frame loop gives way).
class TCanvasGraphicsDriver : public TGraphicsDriver {
public:
    TCanvasGraphicsDriver() { DefaultFlags = 0; }
    TGraphics* CreateGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                              std::int32_t flags) override;
    void SetGraphics(TGraphics* graphics) override { _current = graphics; }
    void Flip(std::int32_t) override {}

private:
    TGraphics* _current = nullptr;
};

// The one canvas driver of the process.
TCanvasGraphicsDriver& CanvasGraphicsDriver();

// Puts width × height RGBA pixels (rows top to bottom, no gaps; alpha is
// taken as it is) on the page's canvas at its top left. False when the canvas
// has no 2D context to give (it has a WebGL one already).
bool PutCanvasImage(const std::uint8_t* rgba, std::int32_t width, std::int32_t height);
