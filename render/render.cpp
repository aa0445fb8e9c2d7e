// Drawing a world: every particle as an additive textured sprite, the sum
// sharpened over the whole window, walls as flat squares on top.
#include "render/render.h"

#include <GL/gl.h>

namespace {

// Quads go to the GL in batches, opened by their first quad: a GL emulated on
// WebGL indexes the vertices of one glBegin with 16 bits and stumbles on an
// empty one. Every vertex carries its own colour (and a sprite's its texture
// coordinate), which such a GL also needs.
constexpr std::int32_t QUADS_PER_BATCH = 4096;
std::int32_t BatchQuads = -1;  // quads in the open batch; -1 when none is open

void EndQuads() {
    if (BatchQuads >= 0) glEnd();
    BatchQuads = -1;
}

// Call before each quad's vertices.
void NextQuad() {
    if (BatchQuads == QUADS_PER_BATCH) EndQuads();
    if (BatchQuads < 0) {
        glBegin(GL_QUADS);
        BatchQuads = 0;
    }
    ++BatchQuads;
}

// The particles' quads, into the open batch: solids and rigid bodies share one.
void AddParticleQuads(TSPH::ParticleView particles, float size) {
    constexpr float BYTE_TO_UNIT = 0.00390625f;  // 1 / 256
    for (const TParticle* particle : particles) {
        const TParticle& p = *particle;
        const float r = p.ColorR * BYTE_TO_UNIT;
        const float g = p.ColorG * BYTE_TO_UNIT;
        const float b = p.ColorB * BYTE_TO_UNIT;
        const float left = p.ScreenX - size;
        const float right = p.ScreenX + size;
        const float top = p.ScreenY - size;
        const float bottom = p.ScreenY + size;
        NextQuad();
        glColor3f(r, g, b);
        glTexCoord2f(0, 0);
        glVertex2f(left, top);
        glColor3f(r, g, b);
        glTexCoord2f(1, 0);
        glVertex2f(right, top);
        glColor3f(r, g, b);
        glTexCoord2f(1, 1);
        glVertex2f(right, bottom);
        glColor3f(r, g, b);
        glTexCoord2f(0, 1);
        glVertex2f(left, bottom);
    }
}

}  // namespace

void Render(const TSPH& world, const TSprites& sprites) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(sprites.Texture));

    // Sprites add up, each channel saturating at 1.
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    AddParticleQuads(world.GetFluidParticles(), sprites.Size);
    EndQuads();
    AddParticleQuads(world.GetSolidParticles(), sprites.Size);
    AddParticleQuads(world.GetRigidParticles(), sprites.Size);
    EndQuads();

    // Each untextured white quad multiplies every channel by itself: two of
    // them turn c into c^4, merging crowded sprites and fading thin fringes.
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_ZERO, GL_DST_COLOR);
    glColor3f(1, 1, 1);
    const auto w = static_cast<float>(sprites.Width);
    const auto h = static_cast<float>(sprites.Height);
    for (int pass = 0; pass < 2; ++pass) {
        NextQuad();
        glColor3f(1, 1, 1);
        glVertex2f(0, 0);
        glColor3f(1, 1, 1);
        glVertex2f(w, 0);
        glColor3f(1, 1, 1);
        glVertex2f(w, h);
        glColor3f(1, 1, 1);
        glVertex2f(0, h);
    }
    EndQuads();
    glDisable(GL_BLEND);

    // Walls: opaque squares of their own colour over whatever lies beneath.
    AddParticleQuads(world.GetBoundaryParticles(), sprites.Size);
    EndQuads();
    glColor3f(1, 1, 1);
}

void RenderParticleRects(TSPH::ParticleView particles, float size) {
    AddParticleQuads(particles, size);
    EndQuads();
}
