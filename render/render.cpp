// Drawing a world: every particle as an additive textured sprite, the sum
// sharpened over the whole window, walls as flat squares on top.
#include <GL/gl.h>

#include "sph/sph.h"

void TSPH::Render() {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(ParticleTex));

    // Sprites add up, each channel saturating at 1.
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBegin(GL_QUADS);
    RenderParticleRects(FluidParticles, FluidCount, ParticleSize);
    glEnd();
    glBegin(GL_QUADS);
    RenderParticleRects(SolidParticles, SolidCount, ParticleSize);
    RenderParticleRects(RigidParticles, RigidCount, ParticleSize);
    glEnd();

    // Each untextured white quad multiplies every channel by itself: two of
    // them turn c into c^4, merging crowded sprites and fading thin fringes.
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_ZERO, GL_DST_COLOR);
    glColor3f(1, 1, 1);
    const auto w = static_cast<float>(GWidth);
    const auto h = static_cast<float>(GHeight);
    glBegin(GL_QUADS);
    for (int pass = 0; pass < 2; ++pass) {
        glVertex2f(0, 0);
        glVertex2f(w, 0);
        glVertex2f(w, h);
        glVertex2f(0, h);
    }
    glEnd();
    glDisable(GL_BLEND);

    // Walls: opaque squares of their own colour over whatever lies beneath.
    glBegin(GL_QUADS);
    RenderParticleRects(BoundaryParticles, BoundaryCount, ParticleSize);
    glEnd();
    glColor3f(1, 1, 1);
}

void TSPH::RenderParticleRects(const ParticleArray& particles, std::int32_t count, float size) {
    constexpr float BYTE_TO_UNIT = 0.00390625f;  // 1 / 256
    glColor3f(1, 1, 1);
    for (std::int32_t i = 0; i < count; ++i) {
        const TParticle& p = *particles[static_cast<std::size_t>(i)];
        glColor3f(p.ColorR * BYTE_TO_UNIT, p.ColorG * BYTE_TO_UNIT, p.ColorB * BYTE_TO_UNIT);
        const float left = p.ScreenX - size;
        const float right = p.ScreenX + size;
        const float top = p.ScreenY - size;
        const float bottom = p.ScreenY + size;
        glTexCoord2f(0, 0);
        glVertex2f(left, top);
        glTexCoord2f(1, 0);
        glVertex2f(right, top);
        glTexCoord2f(1, 1);
        glVertex2f(right, bottom);
        glTexCoord2f(0, 1);
        glVertex2f(left, bottom);
    }
}
