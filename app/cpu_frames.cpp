#include "app/cpu_frames.h"

#include <new>
#include <stdexcept>

#include "app/graphics_setup.h"
#include "platform/bitmap_text.h"
#include "platform/graphics.h"

namespace {

class TCpuFrameDrawer : public TFrameDrawer {
public:
    TCpuFrameDrawer(std::unique_ptr<TCpuRenderer> renderer, TTaskRunner* runner, std::string description,
                    TShowImage show)
        : _renderer(std::move(renderer)), _runner(runner), _description(std::move(description)), _show(show) {}

    const char* PathName() const override { return "cpu"; }
    std::string Description() const override { return _description; }
    void DrawWorld(TSPH& world) override { _renderer->Draw(world, DEMO_SPRITES, _runner); }
    void DrawText(const std::string& text, std::int32_t x, std::int32_t y) override {
        DrawBitmapTextImage(_renderer->Pixels(), _renderer->Width(), _renderer->Height(), _renderer->Pitch(), text, x,
                            y);
    }
    void Show() override {
        _show(_renderer->Pixels(), _renderer->Width(), _renderer->Height(), _renderer->Pitch());
        Flip(0);
    }
    std::unique_ptr<TPixmap> ReadPixels() override {
        if (_renderer->Pixels() == nullptr) return nullptr;
        const auto image = TPixmap::Wrap(_renderer->Pixels(), _renderer->Width(), _renderer->Height(),
                                         _renderer->Pitch(), PIXEL_FORMAT_RGBA8);
        return image ? image->Convert(PIXEL_FORMAT_RGB8) : nullptr;
    }

private:
    std::unique_ptr<TCpuRenderer> _renderer;
    TTaskRunner* _runner;
    std::string _description;
    TShowImage _show;
};

}  // namespace

std::unique_ptr<TCpuRenderer> MakeSpriteRenderer(std::string& error) {
    const auto sprite = LoadSpritePixmap(error);
    if (!sprite) return nullptr;
    try {
        return std::make_unique<TCpuRenderer>(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
    } catch (const std::length_error& refused) {
        error = SpriteError(refused.what());
    } catch (const std::bad_alloc&) {
        error = SpriteError("out of memory while making its " + std::to_string(sprite->width) + " x " +
                            std::to_string(sprite->height) + " pixels into sprite levels");
    }
    return nullptr;
}

std::unique_ptr<TFrameDrawer> MakeCpuFrameDrawer(std::unique_ptr<TCpuRenderer> renderer, TTaskRunner* runner,
                                                 std::string description, TShowImage show) {
    return std::make_unique<TCpuFrameDrawer>(std::move(renderer), runner, std::move(description), show);
}
