#include "window/SurfacePreview.h"

#include <GL/gl.h>

#include <DDImage/Iop.h>
#include <DDImageHost/Host.h>

namespace quorhost {

namespace {

// The image on the first input of a node that is an image, or null.
DD::Image::Iop* imageOf(const Node& node) {
  const DD::Image::Op* op = node.op();
  for (int i = 0; op && i < op->inputs(); ++i)
    if (auto* image = dynamic_cast<DD::Image::Iop*>(op->input(i))) return image;
  return nullptr;
}

void vertex(const SurfacePreview& p, size_t k) {
  // The renderer's t runs down the image, GL's up it.
  glTexCoord2f(p.st[2 * k], 1.0f - p.st[2 * k + 1]);
  glNormal3fv(&p.normals[3 * k]);
  glVertex3fv(&p.positions[3 * k]);
}

}  // namespace

void drawSurfacePreviews(const std::vector<SurfacePreview>& previews, DD::Image::ViewerContext& ctx) {
  // The nodes' surfaces lie one offset behind their lines and points; the
  // preview lies half of that, between them.
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(0.5f, 0.5f);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_LIGHTING);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
  glColor4f(1, 1, 1, 1);
  for (const SurfacePreview& p : previews) {
    DD::Image::Iop* image = p.node ? imageOf(*p.node) : nullptr;
    if (image) image->set_texturemap(&ctx, true);
    for (int r = 0; r + 1 < p.rows; ++r) {
      glBegin(GL_TRIANGLE_STRIP);
      for (int c = 0; c < p.columns; ++c) {
        vertex(p, size_t(r + 1) * size_t(p.columns) + size_t(c));
        vertex(p, size_t(r) * size_t(p.columns) + size_t(c));
      }
      glEnd();
    }
    if (image) image->unset_texturemap(&ctx);
  }
}

}  // namespace quorhost
